// The preview list conversions on the kind of list the main window shows.
#include "casing/caselist.h"

#include <QTest>
#include <QTreeWidget>

class TestCaseList : public QObject
{
    Q_OBJECT

private slots:
    void convertsEveryItemInPlace();
};

namespace {

void fill(QTreeWidget &list, const QStringList &texts)
{
    list.clear();
    for (const QString &text : texts)
        list.addTopLevelItem(new QTreeWidgetItem(QStringList{text}));
}

QStringList texts(const QTreeWidget &list)
{
    QStringList result;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
        result << list.topLevelItem(i)->text(0);
    return result;
}

} // namespace

void TestCaseList::convertsEveryItemInPlace()
{
    QTreeWidget list;
    list.setColumnCount(1);
    list.setHeaderLabels({QStringLiteral("First 100 Entries (Preview)")});

    fill(list, {"abc def", QStringLiteral("ÉCOLE"), ""});
    list.setCurrentItem(list.topLevelItem(1));
    QTreeWidgetItem *second = list.topLevelItem(1);
    ProperCaseList(list);
    QCOMPARE(texts(list), (QStringList{"Abc Def", QStringLiteral("École"), ""}));
    // The items themselves stay: selection, header and columns are untouched.
    QCOMPARE(list.topLevelItem(1), second);
    QCOMPARE(list.currentItem(), second);
    QCOMPARE(list.columnCount(), 1);
    QCOMPARE(list.headerItem()->text(0), QStringLiteral("First 100 Entries (Preview)"));

    fill(list, {"hELLO wORLD", "x. y"});
    SentenceCaseList(list);
    QCOMPARE(texts(list), (QStringList{"Hello world", "X. y"}));

    fill(list, {"Mixed Case"});
    UpperCaseList(list);
    QCOMPARE(texts(list), QStringList{"MIXED CASE"});
    LowerCaseList(list);
    QCOMPARE(texts(list), QStringList{"mixed case"});

    // The rules' own mapping: final sigma, dotted capital I, letters beyond the first plane.
    fill(list,
         {QStringLiteral("ΆΓΙΟΣ ΑΝΔΡΈΑΣ"), QStringLiteral("BAF İLÇESI 𞤀𞤣𞤤𞤢𞤥")});
    LowerCaseList(list);
    QCOMPARE(texts(list), (QStringList{QStringLiteral("άγιος ανδρέας"),
                                       QStringLiteral("baf ilçesi 𞤢𞤣𞤤𞤢𞤥")}));

    // More items than a 16-bit counter holds.
    QStringList many;
    for (int i = 0; i < 40000; ++i)
        many << QStringLiteral("row %1").arg(i);
    fill(list, many);
    UpperCaseList(list);
    QCOMPARE(list.topLevelItem(39999)->text(0), QStringLiteral("ROW 39999"));
}

QTEST_MAIN(TestCaseList)
#include "tst_caselist.moc"
