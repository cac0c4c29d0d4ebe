#include "fontexport/SWXMLWriter.h"

#include "fontexport/NSInvalidArgumentException.h"
#include "fontexport/SWMutableStringWriter.h"
#include "platform/Assert.h"

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

void SWXMLWriter::writeEscaped(std::string_view text, bool escapeQuotes) {
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
                entity = escapeQuotes ? "&quot;" : nullptr;
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
    writeEscaped(text, false);
}

void SWXMLWriter::writeAttributeValue(std::string_view text) {
    writeEscaped(text, true);
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
    writeEscaped(text, true);
    closeComment();
}

void SWXMLWriter::openComment() {
    writeString("<!--");
}

void SWXMLWriter::closeComment() {
    writeString("-->");
}

void SWXMLWriter::writeCDATA(const ContentBlock& content) {
    startCDATA();
    if (content) content();
    endCDATA();
}

void SWXMLWriter::startCDATA() {
    writeString("<![CDATA[");
}

void SWXMLWriter::endCDATA() {
    writeString("]]>");
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
