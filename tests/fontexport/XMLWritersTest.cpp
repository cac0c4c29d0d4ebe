#include "FontTestSupport.h"
#include "fontexport/NSInvalidArgumentException.h"
#include "fontexport/SWBufferedWriter.h"
#include "fontexport/SWEscapedXMLEntitiesWriter.h"
#include "fontexport/SWMutableDataWriter.h"
#include "fontexport/SWMutableStringWriter.h"
#include "fontexport/SWOutputStreamWriter.h"
#include "fontexport/SWStringXMLEntityEscaping.h"
#include "fontexport/SWXMLWriter.h"
#include "platform/core/Log.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct XMLCase {
    const char* name;
    SWStringEncoding encoding;
    std::function<void(SWXMLWriter&)> write;
    std::string expected;
};

std::string written(const XMLCase& c) {
    auto output = std::make_shared<SWMutableStringWriter>();
    SWXMLWriter xml(output, c.encoding);
    c.write(xml);
    return output->string();
}

// A stream that takes at most `limit` bytes per write and then, after
// `capacity` bytes, none.
class RecordingStream : public SWOutputStream {
public:
    RecordingStream(size_t limit, size_t capacity) : limit_(limit), capacity_(capacity) {}
    long write(const uint8_t* bytes, size_t length) override {
        size_t taken = std::min({length, limit_, capacity_ - received.size()});
        offered.push_back(length);
        received.append(reinterpret_cast<const char*>(bytes), taken);
        return static_cast<long>(taken);
    }
    std::string received;
    std::vector<size_t> offered;

private:
    size_t limit_, capacity_;
};

}  // namespace

TEST(XMLWriter, WritesTheLayoutByteForByte) {
    const auto utf8 = SWStringEncoding::UTF8;
    const XMLCase cases[] = {
        {"element without text is empty", utf8,
         [](SWXMLWriter& x) {
             x.pushAttribute("value", "1.0");
             x.writeElement("tableVersion", std::nullopt);
         },
         "<tableVersion value=\"1.0\" />"},
        {"text stays on the line, escaped", utf8,
         [](SWXMLWriter& x) { x.writeElement("t", std::string_view("a < b & \"c\" 'd'")); },
         "<t>a &lt; b &amp; \"c\" 'd'</t>"},
        {"attribute values escape quotes", utf8,
         [](SWXMLWriter& x) {
             x.pushAttribute("q", "say \"hi\" <now>");
             x.pushAttribute("n", 42LL);
             x.writeElement("e", std::nullopt);
         },
         "<e q=\"say &quot;hi&quot; &lt;now&gt;\" n=\"42\" />"},
        {"children each on their own line", utf8,
         [](SWXMLWriter& x) {
             x.writeElement("p", [&] {
                 x.writeElement("a", std::nullopt);
                 x.writeElement("b", std::string_view("t"));
                 x.writeElement("c", [&] { x.writeElement("d", std::nullopt); });
             });
         },
         "<p>\n\t<a />\n\t<b>t</b>\n\t<c>\n\t\t<d />\n\t</c>\n</p>"},
        {"newline content closes the start tag first", utf8,
         [](SWXMLWriter& x) {
             x.writeElement("r", [&] {
                 x.writeElement("CharString", [&] {
                     x.startNewline();
                     for (const char* line : {"500", "endchar"}) {
                         x.writeString(line);
                         x.startNewline();
                     }
                 });
             });
         },
         "<r>\n\t<CharString>\n\t\t500\n\t\tendchar\n\t\t</CharString>\n</r>"},
        {"attributes from a dictionary, comment and CDATA", utf8,
         [](SWXMLWriter& x) {
             x.writeElement("e", {{"b", "2"}, {"a", "1"}}, [&] {
                 x.writeComment("x < \"y\"");
                 x.writeCDATA([&] { x.writeString("<raw>"); });
             });
         },
         "<e a=\"1\" b=\"2\"><!--x &lt; &quot;y&quot;--><![CDATA[<raw>]]></e>"},
        {"whitespace that parsers would change becomes references", utf8,
         [](SWXMLWriter& x) {
             x.pushAttribute("v", "a\tb\nc\rd");
             x.writeElement("e", std::string_view("x\r\ny\tz"));
         },
         "<e v=\"a&#9;b&#10;c&#13;d\">x&#13;\ny\tz</e>"},
        {"document type", utf8,
         [](SWXMLWriter& x) {
             x.startDocument("plist", SWStringEncoding::UTF8);
             x.writeElement("plist", std::nullopt);
         },
         "<!DOCTYPE plist>\n<plist />"},
        {"ASCII references", SWStringEncoding::ASCII,
         [](SWXMLWriter& x) { x.writeCharacters("5\u20ac caf\u00e9 \U0001F600 \u00a0"); },
         "5&euro; caf&#233; &#128512; &nbsp;"},
        {"Latin 1 keeps its own characters", SWStringEncoding::ISOLatin1,
         [](SWXMLWriter& x) { x.writeCharacters("caf\u00e9 \u2014 \u0142"); },
         "caf\u00e9 &mdash; &#322;"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(written(c), c.expected) << c.name;
}

TEST(XMLWriter, KeepsTrackOfOpenElements) {
    auto output = std::make_shared<SWMutableStringWriter>();
    SWXMLWriter xml(output);
    xml.startElement("a");
    xml.startElement("b");
    EXPECT_EQ(xml.openElements(), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(xml.hasOpenElement("a"));
    EXPECT_EQ(xml.topElement(), "b");
    EXPECT_EQ(xml.indentationLevel(), 2);
    xml.endElement();
    xml.endElement();
    EXPECT_EQ(xml.openElementsCount(), 0u);
    xml.close();
    xml.writeString("after close");
    EXPECT_EQ(output->string(), "<a>\n\t<b />\n</a>");
}

TEST(XMLWriter, RefusesUnsupportedEncodings) {
    auto output = std::make_shared<SWMutableStringWriter>();
    SWXMLWriter xml(output);
    try {
        xml.setEncoding(static_cast<SWStringEncoding>(30));
        FAIL() << "no exception";
    } catch (const NSInvalidArgumentException& error) {
        EXPECT_STREQ(error.what(), "Unsupported character encoding Western (Mac OS Roman) (30)");
    }
    EXPECT_EQ(xml.encoding(), SWStringEncoding::UTF8);
    auto latin1 = std::make_shared<SWMutableDataWriter>(std::make_shared<SWMutableData>(),
                                                        SWStringEncoding::ISOLatin1);
    EXPECT_EQ(SWXMLWriter(latin1).encoding(), SWStringEncoding::ISOLatin1);
}

TEST(XMLWriter, EscapesThroughClassFunctionsAndEntityWriter) {
    EXPECT_EQ(SWXMLWriter::stringFromCharacters("a<\"b\">&"), "a&lt;\"b\"&gt;&amp;");
    EXPECT_EQ(SWXMLWriter::stringFromAttributeValue("a\"b"), "a&quot;b");
    auto output = std::make_shared<SWMutableStringWriter>();
    auto xml = std::make_shared<SWXMLWriter>(output);
    xml->startElement("t");
    SWEscapedXMLEntitiesWriter escaped(xml);
    escaped.writeString("1 < 2");
    xml->endElement();
    EXPECT_EQ(output->string(), "<t>1 &lt; 2</t>");
}

TEST(MutableDataWriter, EncodesEachString) {
    struct Case {
        SWStringEncoding encoding;
        std::string text;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {SWStringEncoding::UTF8, "\u00e9", {0xC3, 0xA9}},
        {SWStringEncoding::ISOLatin1, "\u00e9!", {0xE9, '!'}},
        {SWStringEncoding::ASCII, "ok", {'o', 'k'}},
        {SWStringEncoding::UTF16, "a\U0001F600", {'a', 0, 0x3D, 0xD8, 0x00, 0xDE}},
    };
    for (const auto& c : cases) {
        auto data = std::make_shared<SWMutableData>();
        SWMutableDataWriter writer(data, c.encoding);
        writer.writeString(c.text);
        writer.close();
        writer.writeString("dropped");
        EXPECT_EQ(*data, c.bytes) << static_cast<int>(c.encoding);
    }
}

TEST(MutableDataWriter, TakesReferencesFromAnXMLWriterInFront) {
    auto data = std::make_shared<SWMutableData>();
    auto bytes = std::make_shared<SWMutableDataWriter>(data, SWStringEncoding::ASCII);
    SWXMLWriter(bytes).writeElement("n", std::string_view("\u00e9"));
    EXPECT_EQ(std::string(data->begin(), data->end()), "<n>&#233;</n>");
}

TEST(OutputStreamWriter, WritesInChunksUntilAllBytesAreTaken) {
    auto stream = std::make_shared<RecordingStream>(700, SIZE_MAX);
    SWOutputStreamWriter writer(stream);
    std::string text(2500, 'x');
    writer.writeString(text);
    EXPECT_EQ(stream->received, text);
    for (size_t offered : stream->offered)
        EXPECT_LE(offered, SWOutputStreamWriter::kChunkSize);
    EXPECT_FALSE(writer.error());
}

TEST(OutputStreamWriter, ComposesAndMarksUTF16Once) {
    auto stream = std::make_shared<RecordingStream>(SIZE_MAX, SIZE_MAX);
    SWOutputStreamWriter writer(stream, SWStringEncoding::UTF16, true);
    writer.writeString("e\u0301");
    writer.writeString("a");
    EXPECT_EQ(stream->received, std::string("\xFF\xFE\xE9\x00"
                                            "a\x00",
                                            6));
}

TEST(OutputStreamWriter, StopsWhenTheStreamTakesNoMore) {
    lf::LogCapture log;
    auto stream = std::make_shared<RecordingStream>(SIZE_MAX, 10);
    SWOutputStreamWriter writer(stream);
    writer.writeString("0123456789abc");
    writer.writeString("more");
    EXPECT_EQ(stream->received, "0123456789");
    EXPECT_EQ(stream->offered.size(), 2u);  // the full string, then the rest once
    ASSERT_TRUE(writer.error());
    EXPECT_TRUE(log.contains("writing stopped"));
}

TEST(StringWriter, BuffersCommitAndDiscard) {
    SWStringWriter writer;
    writer.writeString("head ");
    writer.beginBuffering();
    writer.writeString("outer ");
    writer.beginBuffering();
    writer.writeString("inner-long");
    EXPECT_EQ(writer.numberOfBuffers(), 2u);
    EXPECT_EQ(writer.string(), "head ");
    // Inserted at the start of a buffer, counted from the outermost; 0
    // joins the committed text.
    writer.writeString("[1]", size_t{1});
    writer.writeString("[0]", size_t{0});
    EXPECT_EQ(writer.string(), "head [0]");
    writer.discardBuffer();
    // The discarded text is overwritten, not deleted.
    writer.writeString("in");
    EXPECT_EQ(writer.debugDescription(), "SWStringWriter head [0]outer [1]in");
    writer.flushFirstBuffer();
    EXPECT_EQ(writer.string(), "head [0]outer [1]in");
    EXPECT_EQ(writer.characterAtIndex(0), 'h');
    EXPECT_EQ(writer.characters(5, 3), "[0]");
    writer.close();
    EXPECT_EQ(writer.string(), "head [0]outer [1]in");
    EXPECT_EQ(writer.insertionPoint(), writer.length());
}

TEST(StringWriter, FlushesOnTheNextNonEmptyWrite) {
    SWStringWriter writer;
    int flushes = 0;
    writer.setWillFlushHandler([&](SWStringWriter&) { ++flushes; });
    writer.beginBuffering();
    writer.writeString("a");
    writer.flushOnNextWrite();
    writer.writeString("");
    EXPECT_EQ(writer.string(), "");
    writer.writeString("b");
    EXPECT_EQ(flushes, 1);
    EXPECT_EQ(writer.string(), "ab");
    writer.discardString();
    EXPECT_EQ(writer.length(), 0u);
    writer.writeString("c");
    writer.removeAllCharacters();
    EXPECT_EQ(writer.string(), "");
}

TEST(BufferedWriter, PassesOnlyCommittedText) {
    auto output = std::make_shared<SWMutableStringWriter>();
    {
        SWBufferedWriter writer(output);
        writer.writeString("direct ");
        writer.beginBuffering();
        writer.writeString("held ");
        writer.writeString("bypass ", true);
        EXPECT_EQ(output->string(), "direct bypass ");
        writer.beginBuffering();
        writer.writeString("dropped");
        writer.discardBuffer();
        writer.flush();
        EXPECT_EQ(output->string(), "direct bypass held ");
        writer.beginBuffering();
        writer.writeString("never committed");
    }
    EXPECT_EQ(output->string(), "direct bypass held ");
}

TEST(XMLEntityEscaping, EscapesAndUnescapes) {
    const SWXMLEntityDictionary extra = {{"para", "\u00b6"}, {"ab", "ab"}};
    EXPECT_EQ(stringByEscapingXMLEntities("<a href='x'>&\"</a>"),
              "&lt;a href=&apos;x&apos;&gt;&amp;&quot;&lt;/a&gt;");
    EXPECT_EQ(stringByEscapingXMLEntities("\u00b6 abc", extra), "&para; &ab;c");
    EXPECT_EQ(stringByUnescapingXMLEntities("&lt;&#65;&#x1F600;&para;&apos;", extra),
              "<A\U0001F600\u00b6'");
    for (const char* broken : {"&amp", "&unknown;", "&#xD800;", "&#;", "&#12a;", "&#0;"})
        EXPECT_FALSE(stringByUnescapingXMLEntities(broken, extra)) << broken;
}

TEST(XMLWriter, CommentsHoldingTheirClosingMarksStayWellFormed) {
    // Each comment as pieces of writeString between openComment and
    // closeComment, or (one piece) through writeComment.
    const std::vector<std::vector<std::string>> comments = {{"a--b"},
                                                            {"--"},
                                                            {"---"},
                                                            {"ends-"},
                                                            {"-"},
                                                            {"-->"},
                                                            {""},
                                                            {"x -- <y> & \"z\" -"},
                                                            {"a-", "-", "-b-"},
                                                            {"-", "", "-"}};
    for (const auto& pieces : comments) {
        std::string text;
        auto output = std::make_shared<SWMutableStringWriter>();
        SWXMLWriter xml(output);
        xml.writeElement("r", [&] {
            if (pieces.size() == 1) {
                text = pieces[0];
                xml.writeComment(text);
            } else {
                xml.openComment();
                for (const auto& piece : pieces) {
                    text += piece;
                    xml.writeString(piece);
                }
                xml.closeComment();
            }
            xml.writeElement("after", std::nullopt);
        });
        auto document = lf::test::parsedXML(output->string());
        pugi::xml_node comment = document->child("r").first_child();
        ASSERT_EQ(comment.type(), pugi::node_comment) << text;
        // pugixml takes "--" inside a comment and a comment ending in "-";
        // XML does not.
        std::string_view written = comment.value();
        EXPECT_EQ(written.find("--"), std::string_view::npos) << output->string();
        EXPECT_FALSE(written.ends_with('-')) << output->string();
        EXPECT_EQ(stringByUnescapingXMLEntities(written), text) << output->string();
        EXPECT_EQ(comment.next_sibling().name(), std::string("after")) << output->string();
    }
}

TEST(XMLWriter, CDATAHoldingItsClosingMarkIsSplitAndKeepsItsText) {
    const std::vector<std::vector<std::string>> contents = {
        {"a]]>b"}, {"]]>"},        {"]", "]", ">"}, {"x]]", ">]]>", "]]"},
        {"]]]>"},  {"]>", "]]>>"}, {"]]", "", ">"}, {"no mark ] ]> ]]"}};
    for (const auto& pieces : contents) {
        std::string text;
        auto output = std::make_shared<SWMutableStringWriter>();
        SWXMLWriter xml(output);
        xml.writeElement("r", [&] {
            xml.writeCDATA([&] {
                for (const auto& piece : pieces) {
                    text += piece;
                    xml.writeString(piece);
                }
            });
        });
        auto document = lf::test::parsedXML(output->string());
        // pugixml reads a stray "]]>" as text after the section; the content
        // comes back only when every node is a CDATA section.
        std::string joined;
        for (pugi::xml_node section : document->child("r").children()) {
            EXPECT_EQ(section.type(), pugi::node_cdata) << output->string();
            joined += section.value();
        }
        EXPECT_EQ(joined, text) << output->string();
    }
}
