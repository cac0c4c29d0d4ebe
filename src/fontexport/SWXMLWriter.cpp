#include "fontexport/SWXMLWriter.h"

#include "fontexport/NSInvalidArgumentException.h"
#include "fontexport/SWMutableStringWriter.h"
#include "platform/core/Assert.h"

#include <fmt/format.h>

#include <algorithm>

namespace {

// What stands for a character that the encoding cannot represent.
std::string characterReference(char32_t character) {
    switch (character) {
        case U'\u00A0':
            return "&nbsp;";
        case U'\u00A9':
            return "&copy;";
        case U'\u00AE':
            return "&reg;";
        case U'\u2013':
            return "&ndash;";
        case U'\u2014':
            return "&mdash;";
        case U'\u20AC':
            return "&euro;";
    }
    // The code point, so that a character outside the basic plane is one
    // reference, not two for its UTF-16 surrogates (which XML rejects).
    return fmt::format("&#{};", static_cast<uint32_t>(character));
}

}  // namespace

SWXMLWriter::SWXMLWriter(std::shared_ptr<SWWriter> outputWriter)
    : SWForwardingWriter(std::move(outputWriter)) {
    if (this->outputWriter()) encoding_ = this->outputWriter()->encoding().value_or(encoding_);
}

SWXMLWriter::SWXMLWriter(std::shared_ptr<SWWriter> outputWriter, SWStringEncoding encoding)
    : SWXMLWriter(std::move(outputWriter)) {
    setEncoding(encoding);
}

void SWXMLWriter::setEncoding(SWStringEncoding encoding) {
    auto number = static_cast<unsigned long>(encoding);
    if (!SWIsSupportedEncoding(number)) {
        throw NSInvalidArgumentException(
            fmt::format("Unsupported character encoding {} ({})", SWEncodingName(number), number));
    }
    encoding_ = encoding;
}

void SWXMLWriter::writeString(std::string_view string) {
    switch (section_) {
        case Section::Comment:
            writeCommentText(string);
            return;
        case Section::CDATA:
            writeCDATAText(string);
            return;
        case Section::None:
            writeOutput(string);
            return;
    }
}

void SWXMLWriter::writeOutput(std::string_view string) {
    if (string.empty()) return;
    if (pendingStartTag_) {
        pendingStartTag_ = false;
        SWForwardingWriter::writeString(">");
    }
    if (encoding_ == SWStringEncoding::UTF8 || encoding_ == SWStringEncoding::UTF16) {
        SWForwardingWriter::writeString(string);
        return;
    }
    size_t runStart = 0;
    size_t offset = 0;
    while (offset < string.size()) {
        size_t characterStart = offset;
        char32_t character = SWNextCharacter(string, offset);
        if (SWEncodingCanRepresent(encoding_, character)) continue;
        if (characterStart > runStart)
            SWForwardingWriter::writeString(string.substr(runStart, characterStart - runStart));
        SWForwardingWriter::writeString(characterReference(character));
        runStart = offset;
    }
    if (runStart < string.size()) SWForwardingWriter::writeString(string.substr(runStart));
}

void SWXMLWriter::startDocument(std::string_view docType, SWStringEncoding encoding) {
    writeString("<!DOCTYPE ");
    writeString(docType);
    writeString(">");
    startNewline();
    setEncoding(encoding);
}

void SWXMLWriter::writeElement(std::string_view name, const ContentBlock& content) {
    startElement(name);
    if (content) content();
    endElement();
}

void SWXMLWriter::writeElement(std::string_view name, std::optional<std::string_view> text) {
    startElement(name);
    if (text) writeCharacters(*text);
    endElement();
}

void SWXMLWriter::writeElement(std::string_view name,
                               const std::map<std::string, std::string>& attributes,
                               const ContentBlock& content) {
    for (const auto& [key, value] : attributes)
        pushAttribute(key, value);
    writeElement(name, content);
}

void SWXMLWriter::pushAttribute(std::string name, std::string value) {
    pendingAttributes_.addAttribute(std::move(name), std::move(value));
}

void SWXMLWriter::pushAttribute(std::string name, long long value) {
    pushAttribute(std::move(name), std::to_string(value));
}

void SWXMLWriter::startElement(std::string_view name) {
    startElement(name, canWriteElementInline(name));
}

void SWXMLWriter::startElement(std::string_view name, bool writeInline) {
    if (!writeInline) {
        startNewline();
        inlineLevel_ = kInlineOff;
    }
    willStartElement(name);
    writeString("<");
    writeString(name);
    openElements_.emplace_back(name);
    if (inlineLevel_ == 0 || inlineLevel_ == kInlineOff) inlineLevel_ = openElements_.size();
    pendingAttributes_.writeAttributes(*this);
    pendingAttributes_.close();
    pendingStartTag_ = elementCanBeEmpty(name);
    if (!pendingStartTag_) writeString(">");
    increaseIndentationLevel();
}

void SWXMLWriter::endElement() {
    LF_PRECONDITION(!openElements_.empty(), "endElement without an open element");
    decreaseIndentationLevel();
    if (openElements_.size() < inlineLevel_) startNewline();
    if (pendingStartTag_) {
        popElement();
        writeString(" />");
    } else {
        writeString("</");
        writeString(openElements_.back());
        writeString(">");
        popElement();
    }
}

void SWXMLWriter::popElement() {
    pendingStartTag_ = false;
    openElements_.pop_back();
    if (openElements_.size() < inlineLevel_) inlineLevel_ = kInlineOff;
}

void SWXMLWriter::startNewline() {
    std::string line = "\n";
    if (indentationLevel_ > 0) line.append(static_cast<size_t>(indentationLevel_), '\t');
    writeString(line);
}

void SWXMLWriter::writeEscaped(std::string_view text, Escaping escaping) {
    size_t runStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char* entity = nullptr;
        switch (text[i]) {
            case '&':
                entity = "&amp;";
                break;
            case '<':
                entity = "&lt;";
                break;
            case '>':
                entity = "&gt;";
                break;
            case '"':
                entity = escaping != Escaping::Text ? "&quot;" : nullptr;
                break;
            // Parsers turn a carriage return into a newline, and any of the
            // three into a blank within an attribute value; references keep
            // them as they are.
            case '\r':
                entity = escaping != Escaping::Comment ? "&#13;" : nullptr;
                break;
            case '\n':
                entity = escaping == Escaping::AttributeValue ? "&#10;" : nullptr;
                break;
            case '\t':
                entity = escaping == Escaping::AttributeValue ? "&#9;" : nullptr;
                break;
        }
        if (!entity) continue;
        if (i > runStart) writeString(text.substr(runStart, i - runStart));
        writeString(entity);
        runStart = i + 1;
    }
    if (runStart < text.size()) writeString(text.substr(runStart));
}

void SWXMLWriter::writeCharacters(std::string_view text) {
    writeEscaped(text, Escaping::Text);
}

void SWXMLWriter::writeAttributeValue(std::string_view text) {
    writeEscaped(text, Escaping::AttributeValue);
}

void SWXMLWriter::writeAttribute(std::string_view name, std::string_view value) {
    writeString(" ");
    writeString(name);
    writeString("=\"");
    writeAttributeValue(value);
    writeString("\"");
}

void SWXMLWriter::writeComment(std::string_view text) {
    openComment();
    writeEscaped(text, Escaping::Comment);
    closeComment();
}

void SWXMLWriter::openComment() {
    writeOutput("<!--");
    section_ = Section::Comment;
    hyphenHeld_ = false;
}

void SWXMLWriter::closeComment() {
    if (hyphenHeld_) writeOutput("&#45;");
    hyphenHeld_ = false;
    section_ = Section::None;
    writeOutput("-->");
}

void SWXMLWriter::writeCommentText(std::string_view text) {
    // A comment may hold no "--" and may not end in "-". Each hyphen waits
    // for the next character: before another hyphen, or at the end of the
    // comment, it is written as a reference, which unescaping the comment's
    // text (escaped as writeComment escapes it) turns back into a hyphen.
    size_t runStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '-') continue;
        if (i > runStart) {
            if (hyphenHeld_) writeOutput("-");
            hyphenHeld_ = false;
            writeOutput(text.substr(runStart, i - runStart));
        }
        if (hyphenHeld_) writeOutput("-&#45;");
        hyphenHeld_ = !hyphenHeld_;
        runStart = i + 1;
    }
    if (runStart < text.size()) {
        if (hyphenHeld_) writeOutput("-");
        hyphenHeld_ = false;
        writeOutput(text.substr(runStart));
    }
}

void SWXMLWriter::writeCDATA(const ContentBlock& content) {
    startCDATA();
    if (content) content();
    endCDATA();
}

void SWXMLWriter::startCDATA() {
    writeOutput("<![CDATA[");
    section_ = Section::CDATA;
    closingBrackets_ = 0;
}

void SWXMLWriter::endCDATA() {
    section_ = Section::None;
    writeOutput("]]>");
}

void SWXMLWriter::writeCDATAText(std::string_view text) {
    // "]]>" would end the section: it ends after the "]]" instead and a new
    // one takes the ">".
    size_t runStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '>' && closingBrackets_ == 2) {
            writeOutput(text.substr(runStart, i - runStart));
            writeOutput("]]><![CDATA[");
            runStart = i;
        }
        closingBrackets_ = text[i] == ']' ? std::min(closingBrackets_ + 1, 2) : 0;
    }
    writeOutput(text.substr(runStart));
}

bool SWXMLWriter::hasOpenElement(std::string_view name) const {
    return std::find(openElements_.begin(), openElements_.end(), name) != openElements_.end();
}

std::string SWXMLWriter::topElement() const {
    return openElements_.empty() ? std::string() : openElements_.back();
}

std::string SWXMLWriter::stringFromCharacters(std::string_view text) {
    auto output = std::make_shared<SWMutableStringWriter>();
    SWXMLWriter(output).writeCharacters(text);
    return output->string();
}

std::string SWXMLWriter::stringFromAttributeValue(std::string_view text) {
    auto output = std::make_shared<SWMutableStringWriter>();
    SWXMLWriter(output).writeAttributeValue(text);
    return output->string();
}
