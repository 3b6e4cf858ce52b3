// The rules of each language against the server's own ICU case functions, which follow CLDR's
// and SpecialCasing's rules for the language: UPPER and lower case on every value, and Proper
// Case word by word against initcap of the single word (their word boundaries differ). The values
// are names of real places of each language (provinces, cities, districts, rivers and
// mountains, as their official lists write them); the server computes every expected value.
#include "casing/caselanguage.h"
#include "testdatabase.h"

#include <QSqlQuery>
#include <QTest>

namespace {

const QStringList Turkish = {
    "İstanbul",
    "Iğdır",
    "Isparta",
    "Şırnak",
    "Kırıkkale",
    "Diyarbakır",
    "Eskişehir",
    "Kırşehir",
    "Niğde",
    "Çanakkale",
    "Ağrı",
    "Bitlis",
    "Bingöl",
    "Elazığ",
    "Giresun",
    "Kırklareli",
    "Afyonkarahisar",
    "Gümüşhane",
    "Hakkâri",
    "Kahramanmaraş",
    "Şanlıurfa",
    "Tekirdağ",
    "Zonguldak",
    "Iğdır Aralık",
    "Ilgaz",
    "Ilıca",
    "Isparta Eğirdir",
    "İzmir",
    "İzmit",
    "İskenderun",
    "İnegöl",
    "Sarıyer",
    "Kadıköy",
    "Üsküdar",
    "Beşiktaş",
    "Bakırköy",
    "Silivri",
    "Çatalca",
    "Kırıkhan",
    "Harbiye",
    "Dikili",
    "Çiğli",
    "Karşıyaka",
    "Alaşehir",
    "Akhisar",
    "Salihli",
    "Siirt",
    "Sinop",
    "Sivas",
    "Tokat",
    "Rize",
    "Ordu",
    "Artvin",
    "Erzincan",
    "Erzurum",
    "Muş",
    "Iğdır Tuzluca",
    "Kilis",
    "Osmaniye",
    "Düzce",
    "Bartın",
    "Karabük",
    "Yalova",
    "Ardahan",
    "Hacıbektaş",
    "Nevşehir",
    "Ürgüp",
    "Göreme",
    "İncesu",
    "Develi",
    "Yeşilhisar",
    "Pınarbaşı",
    "Sarız",
    "Tomarza",
    "İnebolu",
    "Cide",
    "Daday",
    "Abana",
    "Ilgın",
    "Kulu",
    "Cihanbeyli",
    "Ereğli",
    "Karapınar",
    "Akşehir",
    "Beyşehir",
    "Seydişehir",
    "Bozkır",
    "Hadim",
    "Taşkent",
    "Ermenek",
    "Sarıveliler",
    "Kazımkarabekir",
};

const QStringList Azerbaijani = {
    "Bakı",       "Gəncə",    "Sumqayıt", "Mingəçevir", "Şirvan",          "Naxçıvan",
    "İsmayıllı",  "Lənkəran", "Şəki",     "Yevlax",     "Qazax",           "Ağdam",
    "İmişli",     "Xırdalan", "Şamaxı",   "Quba",       "Qusar",           "Xaçmaz",
    "Siyəzən",    "Şabran",   "Qəbələ",   "Oğuz",       "Zaqatala",        "Balakən",
    "Qax",        "Ağdaş",    "Göyçay",   "Ucar",       "Zərdab",          "Kürdəmir",
    "Hacıqabul",  "Salyan",   "Neftçala", "Biləsuvar",  "Cəlilabad",       "Masallı",
    "Yardımlı",   "Lerik",    "Astara",   "Saatlı",     "Sabirabad",       "İmişli Bəhrəmtəpə",
    "Beyləqan",   "Ağcabədi", "Bərdə",    "Tərtər",     "Goranboy",        "Samux",
    "Şəmkir",     "Tovuz",    "Ağstafa",  "Daşkəsən",   "Gədəbəy",         "Kəlbəcər",
    "Laçın",      "Qubadlı",  "Zəngilan", "Cəbrayıl",   "Füzuli",          "Xocavənd",
    "Xocalı",     "Şuşa",     "Xankəndi", "Ordubad",    "Culfa",           "Şərur",
    "Babək",      "Kəngərli", "Sədərək",  "Şahbuz",     "İsmayıllı Lahıc", "Qobustan",
    "Abşeron",    "Xızı",     "Binəqədi", "Nəsimi",     "Nərimanov",       "Nizami",
    "Sabunçu",    "Suraxanı", "Xəzər",    "Yasamal",    "Qaradağ",         "Pirallahı",
    "İçərişəhər",
};

const QStringList Greek = {
    "Άγιος Νικόλαος",
    "Ηράκλειο",
    "Αθήνα",
    "Θεσσαλονίκη",
    "Πάτρα",
    "Ιωάννινα",
    "Καλαμάτα",
    "Βόλος",
    "Ρόδος",
    "Κέρκυρα",
    "Χαλκίδα",
    "Λάρισα",
    "Ναύπλιο",
    "Αίγινα",
    "Άιζεναχ",
    "Ταΰγετος",
    "Ευρώπη",
    "Πειραιάς",
    "Χανιά",
    "Ρέθυμνο",
    "Σητεία",
    "Ιεράπετρα",
    "Κόρινθος",
    "Άργος",
    "Τρίπολη",
    "Σπάρτη",
    "Πύργος",
    "Αγρίνιο",
    "Μεσολόγγι",
    "Άρτα",
    "Πρέβεζα",
    "Ηγουμενίτσα",
    "Κοζάνη",
    "Φλώρινα",
    "Καστοριά",
    "Έδεσσα",
    "Βέροια",
    "Κατερίνη",
    "Σέρρες",
    "Δράμα",
    "Καβάλα",
    "Ξάνθη",
    "Κομοτηνή",
    "Αλεξανδρούπολη",
    "Ορεστιάδα",
    "Μυτιλήνη",
    "Χίος",
    "Σάμος",
    "Σύρος",
    "Νάξος",
    "Πάρος",
    "Θήρα",
    "Μήλος",
    "Κως",
    "Κάλυμνος",
    "Λευκάδα",
    "Ιθάκη",
    "Κεφαλονιά",
    "Ζάκυνθος",
    "Κύθηρα",
    "Μονεμβασιά",
    "Γύθειο",
    "Λαύριο",
    "Ελευσίνα",
    "Μέγαρα",
    "Λαμία",
    "Άμφισσα",
    "Δελφοί",
    "Θήβα",
    "Λιβαδειά",
    "Καρδίτσα",
    "Τρίκαλα",
    "Μετέωρα",
    "Γρεβενά",
    "Νάουσα",
    "Πτολεμαΐδα",
    "Αϊδίνιο",
    "Προϊστορικό Μουσείο Θήρας",
    "Ευβοϊκός Κόλπος",
    "Χαϊδάρι",
    "Καΐρειο",
    "Μαΐστρος",
    "Ξηροκάμπι",
    "Ή Ρόδος ή Κως",
};

const QStringList Dutch = {
    "IJsselmonde",
    "IJmuiden",
    "IJsselstein",
    "Rijswijk",
    "Nijmegen",
    "Zwijndrecht",
    "Krimpen aan den IJssel",
    "IJlst",
    "Bijlmermeer",
    "IJsland",
    "Capelle aan den IJssel",
    "Spijkenisse",
    "Vlijmen",
    "Wijk bij Duurstede",
    "Zuidwijk",
    "Heijen",
    "Dijkhuizen",
    "Amsterdam",
    "Rotterdam",
    "Utrecht",
    "Eindhoven",
    "Tilburg",
    "Groningen",
    "Almere",
    "Breda",
    "Apeldoorn",
    "Haarlem",
    "Arnhem",
    "Enschede",
    "Amersfoort",
    "Zaanstad",
    "Haarlemmermeer",
    "Zwolle",
    "Leiden",
    "Maastricht",
    "Dordrecht",
    "Ede",
    "Alphen aan den Rijn",
    "Westland",
    "Alkmaar",
    "Emmen",
    "Delft",
    "Venlo",
    "Deventer",
    "Sittard-Geleen",
    "Helmond",
    "Oss",
    "Amstelveen",
    "Hilversum",
    "Heerlen",
    "Hengelo",
    "Purmerend",
    "Schiedam",
    "Lelystad",
    "Leidschendam-Voorburg",
    "Gouda",
    "Vlaardingen",
    "Hoorn",
    "Assen",
    "Bergen op Zoom",
    "Velsen",
    "Capelle",
    "Katwijk",
    "Zeist",
    "Nieuwegein",
    "Roermond",
    "Den Helder",
    "Doetinchem",
    "Hoogeveen",
    "Terneuzen",
    "Kerkrade",
    "Harderwijk",
    "Rijssen-Holten",
    "Wijchen",
    "Nijkerk",
    "Bodegraven-Reeuwijk",
    "IJsselmeer",
    "IJburg",
    "ijzendijke",
    "IJZENDIJKE",
};

const QStringList Lithuanian = {
    "Vilnius",
    "Kaunas",
    "Klaipėda",
    "Šiauliai",
    "Panevėžys",
    "Alytus",
    "Marijampolė",
    "Mažeikiai",
    "Jonava",
    "Utena",
    "Kėdainiai",
    "Telšiai",
    "Tauragė",
    "Ukmergė",
    "Visaginas",
    "Plungė",
    "Kretinga",
    "Šilutė",
    "Radviliškis",
    "Druskininkai",
    "Palanga",
    "Rokiškis",
    "Biržai",
    "Gargždai",
    "Kuršėnai",
    "Elektrėnai",
    "Jurbarkas",
    "Garliava",
    "Vilkaviškis",
    "Raseiniai",
    "Anykščiai",
    "Lentvaris",
    "Prienai",
    "Joniškis",
    "Kelmė",
    "Varėna",
    "Kaišiadorys",
    "Pasvalys",
    "Kupiškis",
    "Zarasai",
    "Skuodas",
    "Kazlų Rūda",
    "Širvintos",
    "Molėtai",
    "Šakiai",
    "Švenčionys",
    "Ignalina",
    "Pabradė",
    "Kybartai",
    "Šilalė",
    "Pakruojis",
    "Trakai",
    "Nida",
    "Juodkrantė",
    "Birštonas",
    "Neringa",
    "Įsrutis",
    "Įstras",
    // As dictionaries write them, with the accent on the stressed i.
    "Vìlnius",
    "Kaũnas",
    "Ìgnalina",
    "Ĩstras",
    "Vilnius",
    "Šiauliaĩ",
};

const QStringList German = {
    "Großbeeren",
    "Straße des 17. Juni",
    "Meißen",
    "Gießen",
    "Weißenfels",
    "Roßlau",
    "Weißwasser",
    "Großenhain",
    "Groß-Gerau",
    "Rheinstraße",
    "Bahnhofstraße",
    "Hauptstraße",
    "Schloßberg",
    "Großräschen",
    "Großröhrsdorf",
    "Weißenburg in Bayern",
    "Neußer Straße",
    "Fußach",
    "Grießen",
    "Großostheim",
    "Weißenhorn",
    "Großheubach",
    "Preußisch Oldendorf",
    "Altötting",
    "Görlitz",
    "Lübeck",
    "Düsseldorf",
    "München",
    "Köln",
    "Nürnberg",
    "Würzburg",
    "Fürth",
    "Tübingen",
    "Lüneburg",
    "Osnabrück",
    "Saarbrücken",
    "Zweibrücken",
    "Mühlhausen",
    "Gelsenkirchen",
    "Bielefeld",
    "Oberstaufen",
    "Großer Arber",
    "Bleß",
    "Weißensee",
    "Maßbach",
    "Großefehn",
    "Schweiß",
    "Fuß",
    "Grüß Gott Straße",
};

struct Language {
    CaseLanguage language;
    const QStringList *values;
};

} // namespace

class TestCaseLanguages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void matchesTheServersIcu_data();
    void matchesTheServersIcu();
    void germanCapitalEszett();
    void anyLanguageIsTheRuleItself();

private:
    QString serverCase(const char *function, const QString &value, CaseLanguage language);

    QSqlDatabase db_;
};

void TestCaseLanguages::initTestCase()
{
    REQUIRE_TEST_DATABASE();
    db_ = TestDatabase::open();
    QVERIFY(db_.isOpen());
    for (const CaseLanguageRow &row : CaseLanguages()) {
        if (row.language == CaseLanguage::Any)
            continue;
        const QString collation = row.icuLocale + "-x-icu";
        const QStringList found = TestDatabase::column(
            db_, "SELECT collname FROM pg_collation WHERE collprovider = 'i' AND collname = '" +
                     collation + "'");
        if (found != QStringList{collation})
            QFAIL(qPrintable("The test server has no ICU collation " + collation +
                             ", which these tests take as the oracle: a PostgreSQL built with ICU "
                             "(Debian's is) is needed."));
    }
}

void TestCaseLanguages::cleanupTestCase()
{
    TestDatabase::close(db_);
}

QString TestCaseLanguages::serverCase(const char *function, const QString &value,
                                      CaseLanguage language)
{
    QSqlQuery query(db_);
    query.prepare(QStringLiteral("SELECT %1(CAST(? AS text) COLLATE \"%2-x-icu\")")
                      .arg(QLatin1String(function), CaseLanguageOf(language).icuLocale));
    query.addBindValue(value);
    if (!query.exec() || !query.next())
        return QStringLiteral("<failed>");
    return query.value(0).toString();
}

void TestCaseLanguages::matchesTheServersIcu_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("values");
    QTest::newRow("Turkish") << int(CaseLanguage::Turkish) << Turkish;
    QTest::newRow("Azerbaijani") << int(CaseLanguage::Azerbaijani) << Azerbaijani;
    QTest::newRow("Greek") << int(CaseLanguage::Greek) << Greek;
    QTest::newRow("Dutch") << int(CaseLanguage::Dutch) << Dutch;
    QTest::newRow("Lithuanian") << int(CaseLanguage::Lithuanian) << Lithuanian;
    QTest::newRow("German") << int(CaseLanguage::German) << German;
}

void TestCaseLanguages::matchesTheServersIcu()
{
    QFETCH(int, language);
    QFETCH(QStringList, values);
    const auto lang = CaseLanguage(language);
    QStringList wrong;
    for (const QString &original : values) {
        // Each value as it is, in capitals and in small letters.
        for (const QString &value : {original, original.toUpper(), original.toLower()}) {
            const std::pair<CaseMode, const char *> whole[] = {{CaseMode::Upper, "upper"},
                                                               {CaseMode::Lower, "lower"}};
            for (const auto &[mode, function] : whole) {
                const QString ours = LanguageCase(mode, lang, value);
                const QString server = serverCase(function, value, lang);
                if (ours != server)
                    wrong << QStringLiteral("%1(%2): %3, server %4")
                                 .arg(function, value, ours, server);
            }
            for (const QString &word : value.split(u' ', Qt::SkipEmptyParts)) {
                if (word.contains(u'-') || word.contains(u'.'))
                    continue; // initcap starts a word after them, Proper Case does not
                const QString ours = LanguageCase(CaseMode::Proper, lang, word);
                const QString server = serverCase("initcap", word, lang);
                if (ours != server)
                    wrong << QStringLiteral("initcap(%1): %2, server %3").arg(word, ours, server);
            }
        }
    }
    qInfo("%s: %lld values, %lld wrong", QTest::currentDataTag(), qlonglong(values.size()),
          qlonglong(wrong.size()));
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 20).join(u'\n')));
}

void TestCaseLanguages::germanCapitalEszett()
{
    // The choice of ẞ writes one letter for one, where the server writes "SS".
    QCOMPARE(LanguageCase(CaseMode::Upper, CaseLanguage::GermanEszett, "Großbeeren Straße"),
             QStringLiteral("GROẞBEEREN STRAẞE"));
    QCOMPARE(LanguageCase(CaseMode::Proper, CaseLanguage::GermanEszett, "GROẞBEEREN"),
             QStringLiteral("Großbeeren"));
}

void TestCaseLanguages::anyLanguageIsTheRuleItself()
{
    for (const QStringList *values : {&Turkish, &Greek, &German, &Lithuanian, &Dutch}) {
        for (const QString &value : *values) {
            for (const CaseModeRow &row : CaseModes())
                QCOMPARE(LanguageCase(row.mode, CaseLanguage::Any, value), row.rule(value));
        }
    }
}

QTEST_MAIN(TestCaseLanguages)
#include "tst_caselanguages.moc"
