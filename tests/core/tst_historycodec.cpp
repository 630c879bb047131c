#include "core/HistoryCodec.h"

#include <QFile>
#include <QTest>

namespace {

QDateTime utc(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate).toUTC();
}

QByteArray referenceBytes(const char* name)
{
    QFile file(QStringLiteral(PELLAMOR_TEST_DATA "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing test data %s", name);
    QByteArray bytes = file.readAll();
    // The reference files end with a newline for the editor's sake; the history file does not.
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    return bytes;
}

} // namespace

class TestHistoryCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writesReferenceBytes();
    void readsBackWhatItWrites();
    void dropsFractionalSeconds();
    void escapesEveryCharacterJsonRequires();
    void readsOptionalMembers();
    void readsAnyWellFormedJson();
    void rejectsMalformedJson_data();
    void rejectsMalformedJson();
    void rejectsWholeFile_data();
    void rejectsWholeFile();
    void keepsEveryCharacterOrRejects_data();
    void keepsEveryCharacterOrRejects();
    void acceptsDateForms_data();
    void acceptsDateForms();
    void uuidForms_data();
    void uuidForms();
};

void TestHistoryCodec::writesReferenceBytes()
{
    const ClipboardItems items = {
        ClipboardItem(QUuid::fromString(u"5c1f0e9a-7b7e-4c1e-9d4b-0a1b2c3d4e5f"), ClipboardItemType::Text,
                      QStringLiteral("置顶的文字"), true, utc("2025-03-15T08:00:00Z"), utc("2025-03-14T09:26:53Z")),
        ClipboardItem(QUuid::fromString(u"00000000-0000-4000-8000-0000000000ab"), ClipboardItemType::Image,
                      QStringLiteral("0A1B2C3D-0000-4000-8000-000000000001.png"), false, std::nullopt,
                      utc("2025-03-14T09:27:00Z")),
        ClipboardItem(QUuid::fromString(u"FFFFFFFF-0000-4000-8000-000000000002"), ClipboardItemType::Text,
                      QStringLiteral("line 1\nline \"2\"\t/ \\ end"), false, std::nullopt, utc("2025-01-01T00:00:00Z")),
    };
    QCOMPARE(encodeHistory(items), referenceBytes("history.ref.json"));
    QCOMPARE(encodeHistory({}), QByteArray("[]"));
}

void TestHistoryCodec::readsBackWhatItWrites()
{
    const ClipboardItems items = {
        ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, QStringLiteral("   "), false, std::nullopt,
                      utc("2024-02-29T23:59:59Z")),
        ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, QString(5000, QChar(u'é')), true,
                      utc("2024-03-01T00:00:00Z"), utc("2024-02-01T12:00:00Z")),
        ClipboardItem(QUuid::createUuid(), ClipboardItemType::Text, QStringLiteral("emoji 😀 and \u0001 control"), false,
                      std::nullopt, utc("2024-02-01T12:00:00Z")),
    };
    const HistoryDecodeResult result = decodeHistory(encodeHistory(items));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.items, items);

    const HistoryDecodeResult empty = decodeHistory("[]");
    QVERIFY(empty.ok());
    QVERIFY(empty.items.isEmpty());
}

void TestHistoryCodec::dropsFractionalSeconds()
{
    const QDateTime precise = utc("2025-03-14T09:26:53.870Z");
    const ClipboardItem item(QUuid::createUuid(), ClipboardItemType::Text, QStringLiteral("x"), true, precise, precise);
    const QByteArray bytes = encodeHistory({item});
    QVERIFY(bytes.contains("\"pinTimestamp\":\"2025-03-14T09:26:53Z\""));
    QVERIFY(bytes.contains("\"timestamp\":\"2025-03-14T09:26:53Z\""));
    const HistoryDecodeResult result = decodeHistory(bytes);
    QVERIFY(result.ok());
    QCOMPARE(result.items.first().timestamp, utc("2025-03-14T09:26:53Z"));
}

void TestHistoryCodec::escapesEveryCharacterJsonRequires()
{
    QString content;
    for (char16_t c = 0; c < 0x20; ++c)
        content.append(QChar(c));
    content += QStringLiteral("\"\\/\u007f\u2028");
    const ClipboardItem item(QUuid::createUuid(), ClipboardItemType::Text, content, false, std::nullopt,
                             utc("2025-03-14T09:26:53Z"));
    const QByteArray bytes = encodeHistory({item});
    QVERIFY(bytes.contains(R"("\u0000\u0001)"));
    QVERIFY(bytes.contains(R"(\b\t\n\u000b\f\r)"));
    QVERIFY(bytes.contains(R"(\u001f\"\\/)"));
    QVERIFY(!bytes.contains('\n'));
    const HistoryDecodeResult result = decodeHistory(bytes);
    QVERIFY(result.ok());
    QCOMPARE(result.items.first().content, content);
}

void TestHistoryCodec::readsOptionalMembers()
{
    const QByteArray json =
        R"([)"
        R"({"id":"5c1f0e9a-7b7e-4c1e-9d4b-0a1b2c3d4e5f","type":"text","content":"a","timestamp":"2025-03-14T09:26:53Z"},)"
        R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E60","type":"text","content":"b","isPinned":true,"timestamp":"2025-03-14T09:26:53Z","extra":[1,2]},)"
        R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"image","content":"x.png","isPinned":null,"pinTimestamp":null,"timestamp":"2025-03-14T09:26:53Z"})"
        R"(])";
    const HistoryDecodeResult result = decodeHistory(json);
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.items.size(), 3);
    QCOMPARE(result.items[0].isPinned, false);
    QCOMPARE(result.items[0].pinTimestamp, std::nullopt);
    QCOMPARE(result.items[1].isPinned, true);
    QCOMPARE(result.items[1].pinTimestamp, std::nullopt);
    QCOMPARE(result.items[1].pinMoment(), utc("2025-03-14T09:26:53Z"));
    QCOMPARE(result.items[2].type, ClipboardItemType::Image);

    // Written back: isPinned always present, pinTimestamp still absent.
    const QByteArray written = encodeHistory({result.items[0]});
    QVERIFY(written.contains("\"isPinned\":false"));
    QVERIFY(!written.contains("pinTimestamp"));
    QCOMPARE(uuidText(result.items[0].id), QStringLiteral("5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E5F"));
}

void TestHistoryCodec::readsAnyWellFormedJson()
{
    // Pretty-printed by hand, with escapes, and unknown members holding any kind of value.
    const QByteArray json = "[\n  {\r\n\t\"extra\": {\"a\": [1, -2.5e+3, true, null, {\"b\": \"}\"}]},\n"
                            "   \"content\" : \"\\u4e2d\\ud83d\\ude00\\/\\\"\",\n"
                            "   \"timestamp\": \"2025-03-14T09:26:53Z\", \"type\": \"text\",\n"
                            "   \"id\": \"5c1f0e9a-7b7e-4c1e-9d4b-0a1b2c3d4e5f\", \"more\": 0\n  }\n]\n";
    const HistoryDecodeResult result = decodeHistory(json);
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.items.size(), 1);
    QCOMPARE(result.items.first().content, QStringLiteral("中😀/\""));
}

void TestHistoryCodec::rejectsMalformedJson_data()
{
    QTest::addColumn<QByteArray>("json");
    const QByteArray entry =
        R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E5F","type":"text","content":"a","timestamp":"2025-03-14T09:26:53Z")";
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("object at top") << QByteArray("{}");
    QTest::newRow("trailing comma") << "[" + entry + "},]";
    QTest::newRow("text after array") << "[" + entry + "}] x";
    QTest::newRow("two arrays") << QByteArray("[][]");
    QTest::newRow("unterminated") << "[" + entry + "}";
    QTest::newRow("bad escape") << QByteArray(R"([{"id":"\q"}])");
    QTest::newRow("raw line break in string") << QByteArray("[{\"id\":\"a\nb\"}]");
    QTest::newRow("bare word") << "[" + entry + ",\"x\":yes}]";
    QTest::newRow("leading zero") << "[" + entry + ",\"x\":01}]";
    QTest::newRow("deep nesting") << "[" + entry + ",\"x\":" + QByteArray(200, '[') + QByteArray(200, ']') + "}]";
}

void TestHistoryCodec::rejectsMalformedJson()
{
    QFETCH(QByteArray, json);
    const HistoryDecodeResult result = decodeHistory(json);
    QVERIFY(!result.ok());
    QVERIFY(result.items.isEmpty());
}

void TestHistoryCodec::rejectsWholeFile_data()
{
    QTest::addColumn<QByteArray>("entry");
    const auto row = [](const char* name, const char* members) { QTest::newRow(name) << QByteArray(members); };
    row("type file",
        R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"file","content":"a","timestamp":"2025-03-14T09:26:53Z"})");
    row("fractional seconds",
        R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"text","content":"a","timestamp":"2025-03-14T09:26:53.120Z"})");
    row("missing id", R"({"type":"text","content":"a","timestamp":"2025-03-14T09:26:53Z"})");
    row("bad uuid", R"({"id":"not-a-uuid","type":"text","content":"a","timestamp":"2025-03-14T09:26:53Z"})");
    row("braced uuid",
        R"({"id":"{5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61}","type":"text","content":"a","timestamp":"2025-03-14T09:26:53Z"})");
    row("missing content",
        R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"text","timestamp":"2025-03-14T09:26:53Z"})");
    row("content number",
        R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"text","content":5,"timestamp":"2025-03-14T09:26:53Z"})");
    row("isPinned number",
        R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"text","content":"a","isPinned":1,"timestamp":"2025-03-14T09:26:53Z"})");
    row("bad pin date",
        R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"text","content":"a","pinTimestamp":"yesterday","timestamp":"2025-03-14T09:26:53Z"})");
    row("missing timestamp", R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"text","content":"a"})");
    row("date without zone",
        R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"text","content":"a","timestamp":"2025-03-14T09:26:53"})");
    row("impossible date",
        R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"text","content":"a","timestamp":"2025-02-30T09:26:53Z"})");
    row("not an object", R"("text")");
    row("truncated", R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E61","type":"text","content":"a")");
}

void TestHistoryCodec::rejectsWholeFile()
{
    QFETCH(QByteArray, entry);
    const QByteArray good =
        R"({"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E5F","type":"text","content":"ok","timestamp":"2025-03-14T09:26:53Z"})";
    const HistoryDecodeResult result = decodeHistory("[" + good + "," + entry + "]");
    QVERIFY(!result.ok());
    QVERIFY(result.items.isEmpty());
    QVERIFY(!result.error.isEmpty());
}

void TestHistoryCodec::keepsEveryCharacterOrRejects_data()
{
    // The raw bytes between the quotes of "content", and what they must read as; a null string means the
    // file is rejected rather than read with a character replaced.
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("expected");
    QTest::newRow("two-byte") << QByteArray("caf\xc3\xa9") << QStringLiteral("café");
    QTest::newRow("three-byte") << QByteArray("\xe4\xb8\xad") << QStringLiteral("中");
    QTest::newRow("four-byte") << QByteArray("\xf0\x9f\x98\x80") << QStringLiteral("😀");
    QTest::newRow("escaped pair") << QByteArray("\\ud83d\\ude00") << QStringLiteral("😀");
    QTest::newRow("byte order mark kept") << QByteArray("\xef\xbb\xbfx") << QStringLiteral("\ufeffx");
    QTest::newRow("latin-1 byte") << QByteArray("caf\xe9") << QString();
    QTest::newRow("lone continuation") << QByteArray("a\x80") << QString();
    QTest::newRow("overlong") << QByteArray("\xc0\xaf") << QString();
    QTest::newRow("overlong three-byte") << QByteArray("\xe0\x80\xaf") << QString();
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << QString();
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << QString();
    QTest::newRow("cut short") << QByteArray("\xe4\xb8") << QString();
    QTest::newRow("cut short before escape") << QByteArray("\xe4\xb8\\n") << QString();
    QTest::newRow("lone high escape") << QByteArray("\\ud800") << QString();
    QTest::newRow("high escape then text") << QByteArray("\\ud800x") << QString();
    QTest::newRow("two high escapes") << QByteArray("\\ud800\\ud800") << QString();
    QTest::newRow("lone low escape") << QByteArray("\\udc00") << QString();
}

void TestHistoryCodec::keepsEveryCharacterOrRejects()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, expected);
    const QByteArray json = R"([{"id":"5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E5F","type":"text","content":")" + raw +
                            R"(","timestamp":"2025-03-14T09:26:53Z"}])";
    const HistoryDecodeResult result = decodeHistory(json);
    if (expected.isNull()) {
        QVERIFY(!result.ok());
        QVERIFY(result.items.isEmpty());
        return;
    }
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(result.items.first().content, expected);
    // Written back byte for byte, escapes aside.
    if (!raw.contains('\\'))
        QVERIFY(encodeHistory(result.items).contains(raw));
}

void TestHistoryCodec::acceptsDateForms_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    QTest::newRow("Z") << QStringLiteral("2025-03-14T09:26:53Z") << utc("2025-03-14T09:26:53Z");
    QTest::newRow("offset") << QStringLiteral("2025-03-14T17:26:53+08:00") << utc("2025-03-14T09:26:53Z");
    QTest::newRow("negative offset") << QStringLiteral("2025-03-14T04:26:53-05:00") << utc("2025-03-14T09:26:53Z");
    QTest::newRow("leap day") << QStringLiteral("2024-02-29T00:00:00Z") << utc("2024-02-29T00:00:00Z");
    QTest::newRow("before epoch") << QStringLiteral("1969-12-31T23:59:59Z") << utc("1969-12-31T23:59:59Z");
    QTest::newRow("space") << QStringLiteral("2025-03-14 09:26:53Z") << QDateTime();
    QTest::newRow("hour 24") << QStringLiteral("2025-03-14T24:00:00Z") << QDateTime();
    QTest::newRow("leap second") << QStringLiteral("2016-12-31T23:59:60Z") << QDateTime();
    QTest::newRow("signed digits") << QStringLiteral("2025-03-14T09:26:+3Z") << QDateTime();
}

void TestHistoryCodec::acceptsDateForms()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const std::optional<QDateTime> parsed = parseTimestamp(text);
    QCOMPARE(parsed.has_value(), expected.isValid());
    if (parsed)
        QCOMPARE(*parsed, expected);
}

void TestHistoryCodec::uuidForms_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("upper") << QStringLiteral("5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E5F") << true;
    QTest::newRow("lower") << QStringLiteral("5c1f0e9a-7b7e-4c1e-9d4b-0a1b2c3d4e5f") << true;
    QTest::newRow("nil") << QStringLiteral("00000000-0000-0000-0000-000000000000") << true;
    QTest::newRow("no hyphens") << QStringLiteral("5C1F0E9A7B7E4C1E9D4B0A1B2C3D4E5F") << false;
    QTest::newRow("hyphen misplaced") << QStringLiteral("5C1F0E9A7-B7E-4C1E-9D4B-0A1B2C3D4E5F") << false;
    QTest::newRow("non-hex") << QStringLiteral("5C1F0E9A-7B7E-4C1E-9D4B-0A1B2C3D4E5G") << false;
}

void TestHistoryCodec::uuidForms()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const std::optional<QUuid> id = parseUuid(text);
    QCOMPARE(id.has_value(), valid);
    if (id)
        QCOMPARE(uuidText(*id), text.toUpper());
}

QTEST_GUILESS_MAIN(TestHistoryCodec)
#include "tst_historycodec.moc"
