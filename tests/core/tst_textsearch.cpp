#include "core/TextSearch.h"

#include <QTest>

using TextSearch::Range;

class TestTextSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matching_data();
    void matching();
    void highlightRanges_data();
    void highlightRanges();
    void badInput();
};

void TestTextSearch::matching_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("query");
    QTest::addColumn<bool>("found");

    QTest::newRow("case") << "Hello World"
                          << "hELLO" << true;
    QTest::newRow("full-width text, half-width query") << "ＡＢＣ１２３"
                                                       << "abc123" << true;
    QTest::newRow("half-width text, full-width query") << "abc123"
                                                       << "ＡＢＣ" << true;
    QTest::newRow("accents in the text") << "Café crème"
                                         << "cafe creme" << true;
    QTest::newRow("accents in the query") << "resume"
                                          << "résumé" << true;
    QTest::newRow("combining mark") << "e\u0301te\u0301"
                                    << "ete" << true;
    QTest::newRow("direction marks are ignored") << "שלום עולם"
                                                 << "\u200Fעולם\u200E" << true;
    QTest::newRow("only combining marks: no words") << "abc"
                                                    << "\u0301 \u0301" << true;
    QTest::newRow("words in any order") << "alpha beta gamma"
                                        << "gamma  alpha" << true;
    QTest::newRow("every word must occur") << "alpha beta"
                                           << "alpha delta" << false;
    QTest::newRow("ideographic space splits") << "alpha beta"
                                              << "beta\u3000alpha" << true;
    QTest::newRow("brackets are plain") << "call f(x) [0]"
                                        << "f(x) [0]" << true;
    QTest::newRow("star is plain") << "a*b"
                                   << "a*" << true;
    QTest::newRow("star is not a wildcard") << "ab"
                                            << "a*b" << false;
    QTest::newRow("backslash is plain") << "C:\\temp"
                                        << "c:\\t" << true;
    QTest::newRow("dot is not a wildcard") << "abc"
                                           << "a.c" << false;
    QTest::newRow("pinyin syllables") << "明天的会议"
                                      << "huiyi" << true;
    QTest::newRow("pinyin split syllables") << "明天的会议"
                                            << "hui yi" << true;
    QTest::newRow("pinyin initials") << "明天的会议"
                                     << "hy" << true;
    QTest::newRow("pinyin capitals") << "明天的会议"
                                     << "HuiYi" << true;
    QTest::newRow("mixed character and initial") << "明天的会议"
                                                 << "会y" << true;
    QTest::newRow("mixed initial and character") << "明天的会议"
                                                 << "h议" << true;
    QTest::newRow("syllable then initial") << "明天的会议"
                                           << "huiy" << true;
    QTest::newRow("second reading (行 hang)") << "银行卡"
                                              << "yinhang" << true;
    QTest::newRow("first reading (行 xing)") << "行动"
                                             << "xingdong" << true;
    QTest::newRow("u-umlaut as v") << "绿色"
                                   << "lvse" << true;
    QTest::newRow("pinyin across a gap fails") << "会 议"
                                               << "huiyi" << false;
    QTest::newRow("wrong syllable") << "会议"
                                    << "huiyu" << false;
    QTest::newRow("pinyin with Latin around") << "Q3 会议 notes"
                                              << "hy notes" << true;
    QTest::newRow("tone marks in the query") << "会议"
                                             << "huì yì" << true;
    QTest::newRow("empty text") << ""
                                << "a" << false;
}

void TestTextSearch::matching()
{
    QFETCH(QString, text);
    QFETCH(QString, query);
    QFETCH(bool, found);
    const TextSearch::Query parsed = TextSearch::parseQuery(query);
    QCOMPARE(TextSearch::matches(TextSearch::keyFor(text), parsed), found);
    // The same far into a long entry, and across the end of what its key holds.
    for (const qsizetype lead : {TextSearch::searchedLength * 3, TextSearch::searchedLength - 2}) {
        const QString longText = QString(lead, QLatin1Char('~')) + QLatin1Char('\n') + text;
        QCOMPARE(TextSearch::matchesWhole(longText, TextSearch::keyFor(longText), parsed), found);
    }
}

void TestTextSearch::highlightRanges_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QList<Range>>("ranges");

    QTest::newRow("every occurrence") << "abcabc"
                                      << "BC" << QList<Range>{{1, 2}, {4, 2}};
    QTest::newRow("overlapping words merge") << "abcdef"
                                             << "abc cde" << QList<Range>{{0, 5}};
    QTest::newRow("accented source") << "Café!"
                                     << "cafe" << QList<Range>{{0, 4}};
    QTest::newRow("combining mark stays inside") << "xe\u0301y"
                                                 << "ey" << QList<Range>{{1, 3}};
    QTest::newRow("full-width source") << "xＡＢ"
                                       << "ab" << QList<Range>{{1, 2}};
    QTest::newRow("pinyin") << "明天的会议"
                            << "hy" << QList<Range>{{3, 2}};
    QTest::newRow("emoji before the match") << "😀😀ab"
                                            << "b" << QList<Range>{{5, 1}};
    // Past the first thousand characters only the stretch around the first match is folded again.
    QTest::newRow("far, after combining marks") << QString::fromUtf8("e\u0301").repeated(3000) + " Needle"
                                                << "needle" << QList<Range>{{6001, 6}};
    QTest::newRow("far, after emoji") << QString::fromUtf8("😀").repeated(3000) + " 会议"
                                      << "hy" << QList<Range>{{6001, 2}};
    QTest::newRow("far, right-to-left") << QString::fromUtf8("שלום ").repeated(400) + QString::fromUtf8("עולם")
                                        << "עולם" << QList<Range>{{2000, 4}};
    QTest::newRow("far, a word longer than the stretch")
        << QString(5000, QLatin1Char('x')) + QString(3000, 'y') << QString(3000, 'Y') << QList<Range>{{5000, 3000}};
}

void TestTextSearch::highlightRanges()
{
    QFETCH(QString, text);
    QFETCH(QString, query);
    QFETCH(QList<Range>, ranges);
    QCOMPARE(TextSearch::highlightRanges(text, TextSearch::keyFor(text), TextSearch::parseQuery(query)), ranges);
}

void TestTextSearch::badInput()
{
    // Far into a long entry, the marks are still found, from the entry's key.
    const QString longText = QString(50'000, QLatin1Char('x')) + QStringLiteral(" Needle 会议");
    const TextSearch::Key longKey = TextSearch::keyFor(longText);
    QCOMPARE(TextSearch::highlightRanges(longText, longKey, TextSearch::parseQuery(QStringLiteral("needle hy"))),
             (QList<Range>{{50'001, 6}, {50'008, 2}}));

    // Only spaces: no words, so nothing is filtered.
    QVERIFY(TextSearch::parseQuery(QStringLiteral("   \t \u3000")).isEmpty());

    // A 30 MB entry: its key holds the beginning; the whole text is searched past it, for queries of
    // any length, and a cancelled search gives up.
    const QString huge = QString(15'000'000, QLatin1Char('x')) + QStringLiteral("needle");
    const TextSearch::Key key = TextSearch::keyFor(huge);
    QCOMPARE(key.folded.size(), TextSearch::searchedLength);
    QVERIFY(!key.complete);
    QVERIFY(!TextSearch::matches(key, TextSearch::parseQuery(QStringLiteral("needle"))));
    QVERIFY(TextSearch::matchesWhole(huge, key, TextSearch::parseQuery(QStringLiteral("needle"))));
    QVERIFY(TextSearch::matches(key, TextSearch::parseQuery(QString(100'000, QLatin1Char('X')))));
    QVERIFY(TextSearch::matchesWhole(huge, key, TextSearch::parseQuery(QString(300'000, QLatin1Char('x')))));
    QVERIFY(!TextSearch::matchesWhole(huge, key, TextSearch::parseQuery(QStringLiteral("xneedlex"))));
    const std::atomic_bool cancelled = true;
    QVERIFY(!TextSearch::matchesWhole(huge, key, TextSearch::parseQuery(QStringLiteral("needle")), &cancelled));

    // Emoji, right-to-left text and a long pinyin-like word against Chinese text.
    QVERIFY(TextSearch::matches(TextSearch::keyFor(QStringLiteral("party 🎉🎉 time")),
                                TextSearch::parseQuery(QStringLiteral("🎉 TIME"))));
    QVERIFY(TextSearch::matches(TextSearch::keyFor(QStringLiteral("مرحبا بالعالم")),
                                TextSearch::parseQuery(QStringLiteral("بالعالم"))));
    QVERIFY(TextSearch::matches(TextSearch::keyFor(QStringLiteral("עִברִית")),
                                TextSearch::parseQuery(QStringLiteral("עברית"))));
    const QString chinese = QString(20'000, QChar(0x554A)); // 啊 a
    QVERIFY(!TextSearch::matches(TextSearch::keyFor(chinese), TextSearch::parseQuery(QString(64, 'a') + 'b')));
    QVERIFY(TextSearch::matches(TextSearch::keyFor(chinese), TextSearch::parseQuery(QString(64, 'a'))));
}

QTEST_GUILESS_MAIN(TestTextSearch)
#include "tst_textsearch.moc"
