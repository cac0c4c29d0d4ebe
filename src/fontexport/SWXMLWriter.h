#pragma once
// SWXMLWriter: writes XML through its output writer: elements with
// attributes and content, escaped text, comments, CDATA and a document
// type, pretty-printed with newlines and tab indentation.
//
// Layout: the first element of a document is written where the output
// stands; every later element starts on a new line indented by one tab per
// open element. An element without content is closed by " />"; an element
// whose content is text only stays on one line; an element with child
// elements ends on a new line at its own indentation. Content that a caller
// writes with startNewline() and writeString() lands one level deeper than
// its element, and the end tag then follows on that line.
//
// A start tag's ">" is held back until the first non-empty output inside
// the element, so that an element that stays empty can still become
// "<name />".
//
// Characters the encoding cannot represent are written as character
// references ("&#233;", or the entity names of a few common symbols).
//
// Comments and CDATA sections cannot end early, whatever is written into
// them: a hyphen that would make "--" or end a comment with "-" is written
// as the reference "&#45;", and a "]]>" in a CDATA section ends the section
// after "]]" and opens a new one before ">". The writer cannot mend texts
// that XML cannot carry at all (SWXMLCharacters.h); its callers refuse them.
//
// One thread at a time.

#include "fontexport/SWForwardingWriter.h"
#include "fontexport/SWXMLAttributes.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class SWXMLWriter : public SWForwardingWriter {
public:
    using ContentBlock = std::function<void()>;

    // The encoding is the output writer's when it has one, else UTF-8.
    explicit SWXMLWriter(std::shared_ptr<SWWriter> outputWriter);
    // Throws NSInvalidArgumentException for an unsupported encoding.
    SWXMLWriter(std::shared_ptr<SWWriter> outputWriter, SWStringEncoding encoding);

    // Accepts ASCII, UTF-8, ISO Latin 1 and UTF-16; any other encoding
    // throws NSInvalidArgumentException.
    void setEncoding(SWStringEncoding encoding);
    std::optional<SWStringEncoding> encoding() const override { return encoding_; }

    // All output passes here: a pending start tag is closed first (unless
    // the string is empty), inside a comment or CDATA section the marks
    // that would end it are broken up, and characters the encoding lacks
    // become references.
    void writeString(std::string_view string) override;

    // "<!DOCTYPE docType>", a new line, then the encoding.
    void startDocument(std::string_view docType, SWStringEncoding encoding);

    // startElement, the content if any, endElement.
    void writeElement(std::string_view name, const ContentBlock& content);
    // An element with escaped text content; without text, an empty element.
    void writeElement(std::string_view name, std::optional<std::string_view> text);
    // Pushes the attributes (in key order), then writes the element.
    void writeElement(std::string_view name, const std::map<std::string, std::string>& attributes,
                      const ContentBlock& content);

    // Attributes of the next start tag, written in the order pushed.
    void pushAttribute(std::string name, std::string value);
    void pushAttribute(std::string name, long long value);
    SWXMLAttributes currentAttributes() const { return pendingAttributes_; }

    // Inline only before the first element of the document.
    void startElement(std::string_view name);
    void startElement(std::string_view name, bool writeInline);
    void endElement();
    // "\n" and one tab per indentation level.
    void startNewline();

    // Text with "&", "<" and ">" escaped, and a carriage return as a
    // reference, which a parser would otherwise read as a newline.
    void writeCharacters(std::string_view text);
    // Text with "&", "<", ">" and the double quote escaped, and tab, newline
    // and carriage return as references, which a parser would otherwise
    // read as blanks.
    void writeAttributeValue(std::string_view text);
    // ` name="value"`, the value escaped.
    void writeAttribute(std::string_view name, std::string_view value);
    // "<!--", the text with "&", "<", ">" and the double quote escaped,
    // "-->". Unescaping the comment's text gives the text back, also where
    // hyphens had to become references.
    void writeComment(std::string_view text);
    void openComment();
    void closeComment();
    // "<![CDATA[", the content written raw, "]]>". Where a "]]>" had to be
    // split, the sections joined give the content back.
    void writeCDATA(const ContentBlock& content);
    void startCDATA();
    void endCDATA();

    void increaseIndentationLevel() { ++indentationLevel_; }
    void decreaseIndentationLevel() { --indentationLevel_; }
    long indentationLevel() const { return indentationLevel_; }
    void setIndentationLevel(long level) { indentationLevel_ = level; }

    const std::vector<std::string>& openElements() const { return openElements_; }
    size_t openElementsCount() const { return openElements_.size(); }
    bool hasOpenElement(std::string_view name) const;
    // The innermost open element; empty when none is open.
    std::string topElement() const;

    // The escaped forms of text content and of an attribute value.
    static std::string stringFromCharacters(std::string_view text);
    static std::string stringFromAttributeValue(std::string_view text);

protected:
    // Called before each start tag; does nothing here.
    virtual void willStartElement(std::string_view name) {}
    // Whether the element may be written as "<name />"; every element may.
    virtual bool elementCanBeEmpty(std::string_view name) const { return true; }
    virtual bool canWriteElementInline(std::string_view name) const { return inlineLevel_ == 0; }

private:
    static constexpr size_t kInlineOff = SIZE_MAX;

    enum class Escaping { Text, AttributeValue, Comment };
    enum class Section { None, Comment, CDATA };

    // Passes the string on, with references for what the encoding lacks.
    void writeOutput(std::string_view string);
    void writeCommentText(std::string_view text);
    void writeCDATAText(std::string_view text);
    void writeEscaped(std::string_view text, Escaping escaping);
    void popElement();

    SWXMLAttributes pendingAttributes_;
    std::vector<std::string> openElements_;
    long indentationLevel_ = 0;
    // 0 before the first element; kInlineOff when not writing inline;
    // otherwise the depth at which the current inline run began.
    size_t inlineLevel_ = 0;
    bool pendingStartTag_ = false;
    // The comment or CDATA section being written, if any, and how much of
    // a mark that would end it has come at its end so far: a hyphen held
    // back until the next character shows whether it may stand, or the
    // number of closing brackets (up to 2).
    Section section_ = Section::None;
    bool hyphenHeld_ = false;
    int closingBrackets_ = 0;
    SWStringEncoding encoding_ = SWStringEncoding::UTF8;
};
