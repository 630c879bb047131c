#include "platform/CaptureRules.h"
#include "platform/ClipboardSnapshot.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

const QString oneTimeCode = QStringLiteral("^\\s*\\d{6,8}\\s*$");
const QString token = QStringLiteral("^[A-Za-z0-9+/=_-]{32,}$");
const QString catastrophic = QStringLiteral("(a+)+$");

} // namespace

class TestCaptureRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void excludedApplications_data();
    void excludedApplications();
    void patterns_data();
    void patterns();
    void catastrophicPatternKeepsTheText();
    void excludedOwnerIsNeverRead();
    void matchedTextIsDropped();
};

void TestCaptureRules::excludedApplications_data()
{
    QTest::addColumn<QStringList>("excluded");
    QTest::addColumn<QString>("owner");
    QTest::addColumn<bool>("excludes");
    const QStringList defaults = CaptureRules::defaultExcludedApplications();
    QTest::newRow("default list") << defaults << QStringLiteral("KeePassXC") << true;
    QTest::newRow("case differs") << defaults << QStringLiteral("keepassxc") << true;
    QTest::newRow("not listed") << defaults << QStringLiteral("XTerm") << false;
    QTest::newRow("prefix only") << defaults << QStringLiteral("KeePass") << false;
    QTest::newRow("unknown owner") << defaults << QString() << false;
    QTest::newRow("blank entry") << QStringList{QStringLiteral("  "), QString()} << QString() << false;
    QTest::newRow("padded entry") << QStringList{QStringLiteral(" XTerm ")} << QStringLiteral("xterm") << true;
    QTest::newRow("emptied by the user") << QStringList() << QStringLiteral("KeePassXC") << false;
}

void TestCaptureRules::excludedApplications()
{
    QFETCH(QStringList, excluded);
    QFETCH(QString, owner);
    QFETCH(bool, excludes);
    QCOMPARE(CaptureRules(excluded, {}).excludes(owner), excludes);
}

void TestCaptureRules::patterns_data()
{
    QTest::addColumn<QStringList>("patterns");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ignored");
    QTest::newRow("six digits") << QStringList{oneTimeCode} << QStringLiteral("123456") << true;
    QTest::newRow("eight digits padded") << QStringList{oneTimeCode} << QStringLiteral(" 12345678\n") << true;
    QTest::newRow("code in a sentence") << QStringList{oneTimeCode} << QStringLiteral("1234567 apples") << false;
    QTest::newRow("five digits") << QStringList{oneTimeCode} << QStringLiteral("12345") << false;
    QTest::newRow("token") << QStringList{oneTimeCode, token} << QString(40, u'x') + QStringLiteral("+/=") << true;
    QTest::newRow("words are no token") << QStringList{token} << QStringLiteral("a sentence, not a token at all!")
                                        << false;
    // An invalid pattern is left out; the valid ones after it still apply.
    QTest::newRow("invalid then valid") << QStringList{QStringLiteral("(unclosed"), oneTimeCode}
                                        << QStringLiteral("654321") << true;
    QTest::newRow("invalid only") << QStringList{QStringLiteral("[z-a]")} << QStringLiteral("[z-a]") << false;
    QTest::newRow("non-ASCII") << QStringList{QStringLiteral("^验证码")} << QStringLiteral("验证码 1234") << true;
    // Only the start of a long text is looked at.
    QTest::newRow("past 64 KB") << QStringList{QStringLiteral("secret")}
                                << QString(CaptureRules::examinedTextBytes, u' ') + QStringLiteral("secret") << false;
    QTest::newRow("within 64 KB") << QStringList{QStringLiteral("secret")}
                                  << QString(CaptureRules::examinedTextBytes - 6, u' ') + QStringLiteral("secret")
                                  << true;
}

void TestCaptureRules::patterns()
{
    QFETCH(QStringList, patterns);
    QFETCH(QString, text);
    QFETCH(bool, ignored);
    const CaptureRules rules({}, patterns);
    const CaptureRules::Verdict verdict = rules.judge(text.toUtf8());
    QCOMPARE(verdict.ignored, ignored);
    QVERIFY(verdict.slowPattern.isEmpty());
}

void TestCaptureRules::catastrophicPatternKeepsTheText()
{
    const CaptureRules rules({}, {catastrophic, oneTimeCode});
    // Each change is judged within its budget, also the one right after a given-up match.
    for (const QString& pattern : {QString(40, u'a') + u'b', QString(41, u'a') + u'b'}) {
        const CaptureRules::Verdict verdict = rules.judge(pattern.toUtf8());
        QVERIFY(!verdict.ignored);
        QCOMPARE(verdict.slowPattern, catastrophic);
    }
    // Once the runaway match has ended, the patterns answer as before.
    QTRY_VERIFY(rules.judge(QByteArray("123456")).ignored);
}

void TestCaptureRules::excludedOwnerIsNeverRead()
{
    const CaptureRules rules({QStringLiteral("XTerm")}, {});
    ClipboardSnapshot snapshot;
    snapshot.owner = QStringLiteral("xterm");
    int asked = 0;
    const auto outcome = ClipboardReading::readOffered(
        {"x-kde-passwordManagerHint", "UTF8_STRING", "image/png"}, {}, true,
        [&](const QByteArray&, QByteArray&) {
            ++asked;
            return ClipboardReading::Outcome::Done;
        },
        snapshot, &rules);
    QCOMPARE(outcome, ClipboardReading::Outcome::Done);
    QCOMPARE(asked, 0);
    QVERIFY(snapshot.withheld);
    QCOMPARE(snapshot.skippedBy, SkippedBy::ExcludedApplication);
}

void TestCaptureRules::matchedTextIsDropped()
{
    const CaptureRules rules({}, {oneTimeCode});
    QList<QByteArray> asked;
    ClipboardSnapshot snapshot;
    ClipboardReading::readOffered(
        {"UTF8_STRING", "image/png"}, {}, true,
        [&](const QByteArray& type, QByteArray& out) {
            asked << type;
            out = type == "UTF8_STRING" ? QByteArray("123456") : QByteArray("png");
            return ClipboardReading::Outcome::Done;
        },
        snapshot, &rules);
    QCOMPARE(asked, QList<QByteArray>{"UTF8_STRING"});
    QVERIFY(snapshot.withheld);
    QVERIFY(snapshot.values.isEmpty());
    QCOMPARE(snapshot.skippedBy, SkippedBy::IgnorePattern);
    QVERIFY(ClipboardReading::prepare(snapshot).withheld);
}

QTEST_GUILESS_MAIN(TestCaptureRules)
#include "tst_capturerules.moc"
