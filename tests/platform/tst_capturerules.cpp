#include "platform/CaptureRules.h"
#include "platform/ClipboardSnapshot.h"
#include "platform/fakes/FakePasteboard.h"

#include <QElapsedTimer>
#include <QTest>

namespace {

const QString oneTimeCode = QStringLiteral("^\\s*\\d{6,8}\\s*$");
const QString token = QStringLiteral("^[A-Za-z0-9+/=_-]{32,}$");
const QString catastrophic = QStringLiteral("(a+)+$");

// Bytes by type.
using Sizes = QMap<QString, int>;
using Values = QHash<QString, QByteArray>;

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
    void keptFormatsReadWithinTheirLimit_data();
    void keptFormatsReadWithinTheirLimit();
    void keptFormats_data();
    void keptFormats();
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
    QStringList thousand;
    for (int i = 0; i < 999; ++i)
        thousand << QStringLiteral("^rule%1$").arg(i);
    QTest::newRow("the last of 1000") << (thousand << oneTimeCode) << QStringLiteral("123456") << true;
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
        [&](const QByteArray&, qint64, QByteArray&) {
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
        {"UTF8_STRING", "text/html", "image/png"}, {}, true,
        [&](const QByteArray& type, qint64, QByteArray& out) {
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

void TestCaptureRules::keptFormatsReadWithinTheirLimit_data()
{
    // The size of each offered type's value.
    QTest::addColumn<Sizes>("offered");
    // The types asked for after the text, in order; each one's limit is what the ones before it left.
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QStringList>("kept");
    const QString html = QStringLiteral("text/html");
    const QString rtf = QStringLiteral("text/rtf");
    const QString uris = QStringLiteral("text/uri-list");
    const QString gnome = QStringLiteral("x-special/gnome-copied-files");
    const int max = int(ClipboardReading::maxKeptFormatBytes);
    QTest::newRow("formatted text") << Sizes{{html, 100}, {rtf, 200}} << QStringList{html, rtf}
                                    << QStringList{html, rtf};
    QTest::newRow("html of 50 MB") << Sizes{{html, 50 * 1024 * 1024}, {rtf, 200}} << QStringList{html, rtf}
                                   << QStringList{rtf};
    QTest::newRow("rtf beyond what html left")
        << Sizes{{html, max - 100}, {rtf, 101}} << QStringList{html, rtf} << QStringList{html};
    QTest::newRow("files") << Sizes{{uris, 0}, {gnome, 0}} << QStringList{uris, gnome} << QStringList{uris, gnome};
    QTest::newRow("beside an image") << Sizes{{html, 100}, {QStringLiteral("image/png"), 100}}
                                     << QStringList{QStringLiteral("image/png")} << QStringList{};
}

void TestCaptureRules::keptFormatsReadWithinTheirLimit()
{
    QFETCH(Sizes, offered);
    QFETCH(QStringList, asked);
    QFETCH(QStringList, kept);
    const QByteArray files = "file:///tmp/a";
    QList<QByteArray> types = {"UTF8_STRING"};
    for (auto type = offered.cbegin(); type != offered.cend(); ++type)
        types.append(type.key().toUtf8());
    QStringList received;
    QStringList wrongLimits;
    qint64 left = ClipboardReading::maxKeptFormatBytes;
    ClipboardSnapshot snapshot;
    const auto outcome = ClipboardReading::readOffered(
        types, {}, true,
        [&](const QByteArray& type, qint64 limit, QByteArray& out) {
            if (type == "UTF8_STRING") {
                out = "x";
                return ClipboardReading::Outcome::Done;
            }
            received << QString::fromUtf8(type);
            if (type.startsWith("image/") || type == "text/uri-list") {
                out = type == "text/uri-list" ? files : QByteArray("not an image");
                left -= out.size();
                return ClipboardReading::Outcome::Done;
            }
            // Every type kept beside the text is asked for with what the others before it left.
            if (limit != left)
                wrongLimits << QStringLiteral("%1: %2, not %3").arg(QString::fromUtf8(type)).arg(limit).arg(left);
            if (type == "x-special/gnome-copied-files")
                out = "cut\n" + files;
            else if (offered.value(QString::fromUtf8(type)) > limit)
                return ClipboardReading::Outcome::TooLarge;
            else
                out.fill('x', offered.value(QString::fromUtf8(type)));
            left -= out.size();
            return ClipboardReading::Outcome::Done;
        },
        snapshot);
    QCOMPARE(outcome, ClipboardReading::Outcome::Done);
    QCOMPARE(received, asked);
    QCOMPARE(wrongLimits, QStringList());
    const ClipboardContents contents = ClipboardReading::prepare(snapshot);
    QCOMPARE(contents.text, QStringLiteral("x"));
    QCOMPARE(contents.formats.keys(), kept);
}

void TestCaptureRules::keptFormats_data()
{
    QTest::addColumn<Values>("values");
    QTest::addColumn<KeptFormats>("kept");
    const QString html = QStringLiteral("text/html");
    const QString uris = QStringLiteral("text/uri-list");
    const QString gnome = QStringLiteral("x-special/gnome-copied-files");
    const QString kde = QStringLiteral("application/x-kde-cutselection");
    const QByteArray invalidUtf8 = "<b>\xff\xfe\xc3</b>";
    QTest::newRow("empty html") << Values{{html, QByteArray()}} << KeptFormats{};
    QTest::newRow("invalid UTF-8 in html") << Values{{html, invalidUtf8}} << KeptFormats{{html, invalidUtf8}};
    QTest::newRow("cut becomes copy") << Values{{gnome, "cut\nfile:///tmp/a"}, {uris, "file:///tmp/a\r\n"}}
                                      << KeptFormats{{gnome, "copy\nfile:///tmp/a"}, {uris, "file:///tmp/a\r\n"}};
    QTest::newRow("gnome list alone") << Values{{gnome, "copy\nfile:///tmp/a\nfile:///tmp/b%20c"}}
                                      << KeptFormats{{gnome, "copy\nfile:///tmp/a\nfile:///tmp/b%20c"},
                                                     {uris, "file:///tmp/a\r\nfile:///tmp/b%20c\r\n"}};
    QTest::newRow("KDE cut") << Values{{uris, "file:///tmp/a\n"}, {kde, "1"}}
                             << KeptFormats{{gnome, "copy\nfile:///tmp/a"}, {uris, "file:///tmp/a\n"}};
    // The names are kept as they are: nothing looks at the files, not even whether they can be read.
    QTest::newRow("another user's file") << Values{{uris, "file:///etc/shadow\r\n"}}
                                         << KeptFormats{{gnome, "copy\nfile:///etc/shadow"},
                                                        {uris, "file:///etc/shadow\r\n"}};
    QTest::newRow("web address") << Values{{uris, "file:///tmp/a\r\nhttps://example.com/a\r\n"}} << KeptFormats{};
    QTest::newRow("web address in the gnome list")
        << Values{{uris, "file:///tmp/a\r\n"}, {gnome, "copy\nsftp://host/a"}} << KeptFormats{};
    QTest::newRow("file on another host") << Values{{uris, "file://host/tmp/a\r\n"}} << KeptFormats{};
    QByteArray many;
    QByteArray manyGnome = "copy";
    for (int i = 0; i < 10000; ++i) {
        many += "file:///home/user/photos/IMG_" + QByteArray::number(i) + ".txt\r\n";
        manyGnome += "\nfile:///home/user/photos/IMG_" + QByteArray::number(i) + ".txt";
    }
    QTest::newRow("10000 files") << Values{{uris, many}} << KeptFormats{{gnome, manyGnome}, {uris, many}};
    const QByteArray nearlyAll(ClipboardReading::maxKeptFormatBytes - 30, 'x');
    QTest::newRow("at the limit") << Values{{html, nearlyAll}, {uris, "file:///a\n"}}
                                  << KeptFormats{{html, nearlyAll}, {gnome, "copy\nfile:///a"}, {uris, "file:///a\n"}};
    QTest::newRow("over the limit") << Values{{html, nearlyAll}, {uris, "file:///tmp/a\n"}} << KeptFormats{};
}

void TestCaptureRules::keptFormats()
{
    QFETCH(KeptFormats, kept);
    QFETCH(Values, values);
    QCOMPARE(ClipboardReading::keptFormats(values), kept);
    values.insert(QStringLiteral("text/plain"), "x");
    ClipboardSnapshot snapshot;
    snapshot.values = values;
    QCOMPARE(ClipboardReading::prepare(snapshot).formats, kept);
    // A clipboard without a reader of its own keeps the same.
    FakePasteboard pasteboard;
    FakePasteboard::Contents copied;
    copied.text = QStringLiteral("x");
    copied.formats = values;
    pasteboard.copy(copied);
    QCOMPARE(static_cast<const Pasteboard&>(pasteboard).contents({}).formats, kept);
}

QTEST_GUILESS_MAIN(TestCaptureRules)
#include "tst_capturerules.moc"
