// The name rules after Proper Case: each rule on its own, where it must keep away (look-alikes,
// possessives, East Asian given names), that they change letter case only, and a list of real
// names, written as their bearers write them, given in capitals.
#include "casing/caserules.h"
#include "casing/namerules.h"
#include "casing/wordexceptions.h"

#include <QRandomGenerator>
#include <QTest>

class TestNameRules : public QObject
{
    Q_OBJECT

private slots:
    void rules_data();
    void rules();
    void onlyWithTheOptionAfterProperCase();
    void listHasTheLastSay();
    void onlyLetterCaseChanges();
    void realNames_data();
    void realNames();
    void realNameCounts();
};

namespace {

QString named(const QString &text, const QStringList &words = {})
{
    const WordExceptions withRules(words, true);
    return ApplyCaseMode(CaseMode::Proper, text, &withRules);
}

// Names of well-known people of many origins, as each writes it. The rules get these right.
const char *const RulesRight[] = {
    // Scottish and Irish; "Mac" left alone
    "Paul McCartney", "Steve McQueen", "Ewan McGregor", "Conor McGregor", "Rose McGowan",
    "Frances McDormand", "Matthew McConaughey", "John McEnroe", "Cormac McCarthy", "Ian McKellen",
    "Sinéad O'Connor", "Conan O'Brien", "Maureen O'Hara", "Shaquille O'Neal", "Peter O'Toole",
    "Georgia O'Keeffe", "Eugene O'Neill", "Rosie O'Donnell", "Flannery O'Connor",
    "Ronnie O'Sullivan", "Dolores O'Riordan", "Harold Macmillan", "Emmanuel Macron",
    "Antonio Machado", "Charles Rennie Mackintosh", "Dean Macey", "Maciej Stuhr",
    // look-alikes of numerals
    "Xi Jinping", "Liv Tyler", "Liv Ullmann", "Ivan Lendl", "Willie Dixon",
    // Dutch and German
    "Vincent van Gogh", "Ludwig van Beethoven", "Robin van Persie", "Rembrandt van Rijn",
    "Ruud van Nistelrooy", "Virgil van Dijk", "Pieter van den Hoogenband", "Max Verstappen",
    "Johan Cruyff", "Frans de Waal", "Gerard 't Hooft", "Edsger W. Dijkstra", "Van Morrison",
    "Ursula von der Leyen", "Otto von Bismarck", "Wernher von Braun", "Karl-Theodor zu Guttenberg",
    "Johann Wolfgang von Goethe", "Lars von Trier", "Diane von Fürstenberg",
    "Ludwig Mies van der Rohe", "Anne-Sophie Mutter", "Hans-Dietrich Genscher", "Angela Merkel",
    "Gerhard Schröder", "Franz Beckenbauer",
    // French
    "Charles de Gaulle", "Valéry Giscard d'Estaing", "Antoine de Saint-Exupéry", "Jean-Paul Sartre",
    "Simone de Beauvoir", "Pierre-Auguste Renoir", "Jean-Luc Godard", "Guy de Maupassant",
    "Honoré de Balzac", "Alexis de Tocqueville", "Daphne du Maurier", "Dominique Strauss-Kahn",
    "Pierre de Coubertin", "Jacques-Yves Cousteau", "Brigitte Bardot",
    // Italian
    "Leonardo da Vinci", "Giorgio de Chirico", "Marcello Dell'Utri", "Piero della Francesca",
    "Luca della Robbia", "Dante Alighieri", "Sophia Loren",
    // Spanish and Portuguese
    "Miguel de Cervantes", "Diego Velázquez", "Penélope Cruz", "José Ortega y Gasset",
    "Bartolomé de las Casas", "Gabriel García Márquez", "Federico García Lorca",
    "Francisco de Goya", "Salvador Dalí", "Benicio del Toro", "Guillermo del Toro", "Hernán Cortés",
    "Rafael Nadal", "Luiz Inácio Lula da Silva", "José Eduardo dos Santos", "Vasco da Gama",
    "Pedro Álvares Cabral", "Fernando Pessoa", "Cristiano Ronaldo dos Santos Aveiro",
    "Eusébio da Silva Ferreira", "Dilma Rousseff",
    // Arabic
    "Bashar al-Assad", "Hafez al-Assad", "Mohammed bin Salman", "Ayman al-Zawahiri",
    "Abdel Fattah el-Sisi", "Naguib Mahfouz", "Ibn Battuta", "Muhammad ibn Musa al-Khwarizmi",
    "Umm Kulthum", "Hamad bin Khalifa Al Thani", "Mohamed Salah", "Zinedine Zidane",
    "Yasser Arafat",
    // Roman numerals
    "Henry VIII", "Elizabeth II", "Louis XIV", "John Paul II", "Pius XII", "Charles III",
    "Benedict XVI", "Louis XVI", "Alfonso XIII", "John D. Rockefeller III", "Malcolm X",
    "Martin Luther King Jr.",
    // double names
    "Catherine Zeta-Jones", "Kareem Abdul-Jabbar", "Daniel Day-Lewis", "Olivia Newton-John",
    "Helena Bonham Carter", "Joseph Gordon-Levitt", "Andrew Lloyd Webber", "Jean-Michel Basquiat",
    "Maria Skłodowska-Curie", "Ngozi Okonjo-Iweala", "Ann-Margret", "Pierre-Emerick Aubameyang",
    "Jean-Claude Juncker",
    // African, Asian, Slavic, Nordic, Greek, Turkish
    "Kofi Annan", "Wangari Maathai", "Chinua Achebe", "Youssou N'Dour", "N'Golo Kanté",
    "Akira Kurosawa", "Haruki Murakami", "Kim Jong-un", "Ban Ki-moon", "Moon Jae-in",
    "Son Heung-min", "Bong Joon-ho", "Chiang Kai-shek", "Sun Yat-sen", "Tsai Ing-wen", "Yo-Yo Ma",
    "Lee Kuan Yew", "Aung San Suu Kyi", "Ho Chi Minh", "Nguyễn Văn Thiệu", "Narendra Modi",
    "Indira Gandhi", "Amitabh Bachchan", "Nelson Mandela", "Desmond Tutu", "Vladimir Putin",
    "Fyodor Dostoevsky", "Lech Wałęsa", "Greta Thunberg", "Søren Kierkegaard", "Orhan Pamuk",
    "Recep Tayyip Erdoğan", "Nikos Kazantzakis",
    // initials and nicknames
    "J.R.R. Tolkien", "J.K. Rowling", "H.G. Wells", "T.S. Eliot", "C.S. Lewis",
    "Earvin \"Magic\" Johnson", "Dwayne \"The Rock\" Johnson"};

// A family name that begins with a particle in capitals: Proper Case is right, the particle rule
// writes it small, and the word exceptions put it back.
const char *const CapitalParticles[] = {
    "Dick Van Dyke",    "Martin Van Buren",     "Robert De Niro",
    "Vittorio De Sica", "Alessandro Del Piero", "Alfredo Di Stéfano",
    "Oscar De La Hoya", "Ursula K. Le Guin",    "Lana Del Rey"};

// Names that neither Proper Case nor the rules get right: "MacX", capitals within a name, "D'"
// of Italian names within a full name, a numeral before the last word.
const char *const BeyondTheRules[] = {
    "Ramsay MacDonald",  "Ali MacGraw",       "Shane MacGowan",      "Seth MacFarlane",
    "Kyle MacLachlan",   "Andie MacDowell",   "Jean de La Fontaine", "Jean-Claude Van Damme",
    "Danny DeVito",      "Leonardo DiCaprio", "Beverly D'Angelo",    "Vincent D'Onofrio",
    "Mohamed ElBaradei", "Gustaf VI Adolf",   "W.E.B. Du Bois",      "LeBron James"};

// A short list as a user would write it for names such as these.
const QStringList ShortList = {"MacDonald", "MacLeod",    "MacKenzie", "MacGregor",  "MacArthur",
                               "MacLean",   "MacFarlane", "MacDowell", "MacLachlan", "MacGraw",
                               "MacGowan",  "DeVito",     "DiCaprio",  "LeBron",     "De Niro",
                               "Van Dyke",  "Van Buren",  "Van Damme", "De La Hoya", "Del Rey",
                               "Le Guin",   "Du Bois",    "D'Angelo",  "D'Onofrio",  "De Sica",
                               "Del Piero", "Di Stéfano", "ElBaradei", "La Fontaine"};

enum class Kind { RulesRight, CapitalParticle, BeyondTheRules };

} // namespace

void TestNameRules::rules_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("blanks") << " \t "
                            << " \t ";
    // Mc
    QTest::newRow("mc") << "MCCARTNEY"
                        << "McCartney";
    QTest::newRow("mc possessive") << "MCDONALD'S FARM"
                                   << "McDonald's Farm";
    QTest::newRow("mc alone") << "mc hammer"
                              << "Mc Hammer";
    QTest::newRow("mac left alone") << "MACMILLAN MACRON MACIEJ"
                                    << "Macmillan Macron Maciej";
    QTest::newRow("mc after hyphen") << "smith-mcbride"
                                     << "Smith-McBride";
    // apostrophes
    QTest::newRow("o'") << "o'neill"
                        << "O'Neill";
    QTest::newRow("right single quote") << "O’NEILL"
                                        << "O’Neill";
    QTest::newRow("modifier apostrophe") << "oʼneill"
                                         << "OʼNeill";
    QTest::newRow("d' first") << "d'angelo"
                              << "D'Angelo";
    QTest::newRow("d' within") << "giscard d'estaing"
                               << "Giscard d'Estaing";
    QTest::newRow("l' within") << "jean l'heureux"
                               << "Jean l'Heureux";
    QTest::newRow("dell'") << "marcello dell'utri"
                           << "Marcello Dell'Utri";
    QTest::newRow("arabic letter") << "JA'FAR SA'ID"
                                   << "Ja'far Sa'id";
    QTest::newRow("elision") << "rock'n'roll"
                             << "Rock'n'roll";
    QTest::newRow("leading apostrophe") << "gerard 't hooft"
                                        << "Gerard 't Hooft";
    QTest::newRow("apostrophe at end") << "o'"
                                       << "O'";
    QTest::newRow("o' after hyphen") << "smith-o'hara"
                                     << "Smith-O'Hara";
    // hyphens
    QTest::newRow("hyphen") << "zeta-jones"
                            << "Zeta-Jones";
    QTest::newRow("hyphen accent") << "SAINT-ÉTIENNE"
                                   << "Saint-Étienne";
    QTest::newRow("hyphen beyond the first plane") << "x-𞤢𞤢"
                                                   << "X-𞤀𞤢";
    QTest::newRow("hyphen no letter before") << "-jones 3-d"
                                             << "-jones 3-d";
    QTest::newRow("hyphen alone") << "smith - jones"
                                  << "Smith - Jones";
    QTest::newRow("two hyphens") << "a-b-c"
                                 << "A-B-C";
    QTest::newRow("al within") << "bashar al-assad"
                               << "Bashar al-Assad";
    QTest::newRow("al first") << "al-khwarizmi"
                              << "Al-Khwarizmi";
    QTest::newRow("al alone") << "hamad al thani"
                              << "Hamad Al Thani";
    QTest::newRow("korean") << "KIM JONG-UN"
                            << "Kim Jong-un";
    QTest::newRow("chinese") << "chiang kai-shek"
                             << "Chiang Kai-shek";
    QTest::newRow("not a syllable") << "day-lewis yo-yo"
                                    << "Day-Lewis Yo-Yo";
    QTest::newRow("syllable, long first part") << "smithson-min"
                                               << "Smithson-Min";
    // particles
    QTest::newRow("particle within") << "LUDWIG VAN BEETHOVEN"
                                     << "Ludwig van Beethoven";
    QTest::newRow("particle first") << "van morrison"
                                    << "Van Morrison";
    QTest::newRow("particle last") << "john van"
                                   << "John Van";
    QTest::newRow("particle alone") << "de"
                                    << "De";
    QTest::newRow("two particles") << "ursula von der leyen"
                                   << "Ursula von der Leyen";
    QTest::newRow("particles, blanks") << "  jean  de\tla fontaine  "
                                       << "  Jean  de\tla Fontaine  ";
    QTest::newRow("not a particle") << "anna vanessa dean"
                                    << "Anna Vanessa Dean";
    // numerals
    QTest::newRow("numeral") << "HENRY VIII"
                             << "Henry VIII";
    QTest::newRow("numeral, trailing blank") << "louis xiv "
                                             << "Louis XIV ";
    QTest::newRow("numeral first") << "xi jinping"
                                   << "Xi Jinping";
    QTest::newRow("numeral alone") << "iii"
                                   << "Iii";
    QTest::newRow("numeral within") << "gustaf vi adolf"
                                    << "Gustaf Vi Adolf";
    QTest::newRow("beyond xx") << "liv tyler, henry liv, jo xxi"
                               << "Liv Tyler, Henry Liv, Jo Xxi";
    QTest::newRow("look-alikes") << "ian ivan dixon mix"
                                 << "Ian Ivan Dixon Mix";
    // initials and opening marks
    QTest::newRow("initials") << "j.r.r. tolkien"
                              << "J.R.R. Tolkien";
    QTest::newRow("no initial") << "jr. st.john"
                                << "Jr. St.john";
    QTest::newRow("nickname") << "earvin \"magic\" johnson"
                              << "Earvin \"Magic\" Johnson";
    QTest::newRow("brackets") << "robert (bob) [x] «jo»"
                              << "Robert (Bob) [X] «Jo»";
    // what Proper Case leaves alone stays
    QTest::newRow("line feed") << "one\nmccoy"
                               << "One\nmccoy";
    QTest::newRow("carriage return") << "henry\rviii"
                                     << "Henry\rVIII";
}

void TestNameRules::rules()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(named(input), expected);
}

void TestNameRules::onlyWithTheOptionAfterProperCase()
{
    const QString text = QStringLiteral("LUDWIG VAN BEETHOVEN-MCCARTNEY VIII");
    const WordExceptions off(QStringList{"USA"}), on(QStringList{"USA"}, true);
    QCOMPARE(ApplyCaseMode(CaseMode::Proper, text, &off), ProperCase(text));
    QCOMPARE(ApplyCaseMode(CaseMode::Proper, text), ProperCase(text));
    for (CaseMode mode : {CaseMode::Upper, CaseMode::Lower, CaseMode::Sentence})
        QCOMPARE(ApplyCaseMode(mode, text, &on), ApplyCaseMode(mode, text, &off));
    QVERIFY(on.appliesTo(CaseMode::Proper));
    QVERIFY(WordExceptions({}, true).appliesTo(CaseMode::Proper));
    QVERIFY(!WordExceptions({}, true).appliesTo(CaseMode::Sentence));
    QVERIFY(!WordExceptions({}, false).appliesTo(CaseMode::Proper));
}

void TestNameRules::listHasTheLastSay()
{
    QCOMPARE(named("DICK VAN DYKE", {"Van Dyke"}), "Dick Van Dyke");
    QCOMPARE(named("RAMSAY MACDONALD", {"MacDonald"}), "Ramsay MacDonald");
    QCOMPARE(named("PAUL MCCARTNEY", {"Mccartney"}), "Paul Mccartney");
    QCOMPARE(named("henry viii", {"viii"}), "Henry viii");
}

void TestNameRules::onlyLetterCaseChanges()
{
    // Texts of the units the rules look at, and of letters beyond ASCII and the first plane:
    // the rules may only change the case of letters, and applied again they find nothing left
    // to do.
    const QStringList pieces = {
        "mc",  "mac",  "o'", "d'", "l'",   "-",    "'",   "’", "van",   "de",
        "al-", "viii", "xi", ".",  "j.",   "(",    "\"",  " ", "\t",    "\r",
        "\n",  "é",    "Σ",  "ß",  "𞤢", "jong", "-un", "a", "smith", QString(QChar(0xd83a))};
    QRandomGenerator random(22);
    for (int i = 0; i < 20000; ++i) {
        QString text;
        for (int k = random.bounded(12); k >= 0; --k)
            text += pieces[random.bounded(int(pieces.size()))];
        const QString proper = ProperCase(text);
        QString rules = proper;
        NameRules::Apply(rules);
        QCOMPARE(rules.size(), text.size());
        QCOMPARE(LowerCase(rules), LowerCase(proper));
        QString again = rules;
        NameRules::Apply(again);
        QCOMPARE(again, rules);
    }
}

void TestNameRules::realNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("kind");
    for (const char *name : RulesRight)
        QTest::newRow(name) << QString::fromUtf8(name) << int(Kind::RulesRight);
    for (const char *name : CapitalParticles)
        QTest::newRow(name) << QString::fromUtf8(name) << int(Kind::CapitalParticle);
    for (const char *name : BeyondTheRules)
        QTest::newRow(name) << QString::fromUtf8(name) << int(Kind::BeyondTheRules);
}

void TestNameRules::realNames()
{
    QFETCH(QString, name);
    QFETCH(int, kind);
    const QString capitals = UpperCase(name);
    const bool plainRight = ProperCase(capitals) == name;
    const bool rulesRight = named(capitals) == name;
    QCOMPARE(rulesRight, Kind(kind) == Kind::RulesRight);
    // The rules make no name wrong that Proper Case gets right, but one whose family name
    // begins with a particle in capitals.
    QCOMPARE(plainRight && !rulesRight, Kind(kind) == Kind::CapitalParticle);
}

void TestNameRules::realNameCounts()
{
    qsizetype total = 0, plain = 0, rules = 0, withList = 0;
    auto count = [&](const char *written) {
        const QString name = QString::fromUtf8(written), capitals = UpperCase(name);
        ++total;
        plain += ProperCase(capitals) == name;
        rules += named(capitals) == name;
        withList += named(capitals, ShortList) == name;
    };
    for (const char *name : RulesRight)
        count(name);
    for (const char *name : CapitalParticles)
        count(name);
    for (const char *name : BeyondTheRules)
        count(name);
    qInfo("%lld names: Proper Case %lld, name rules %lld, name rules and %lld words %lld",
          qint64(total), qint64(plain), qint64(rules), qint64(ShortList.size()), qint64(withList));
    QVERIFY(total >= 150);
    QVERIFY(ShortList.size() <= 30);
    QCOMPARE(rules, qsizetype(std::size(RulesRight)));
    // Only "Gustaf VI Adolf" is left: a list word "VI" would write every "Vi" in capitals.
    QCOMPARE(withList, total - 1);
}

QTEST_MAIN(TestNameRules)
#include "tst_namerules.moc"
