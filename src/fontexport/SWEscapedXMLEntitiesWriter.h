#pragma once
// SWEscapedXMLEntitiesWriter: turns every string written to it into
// escaped character data of an XML writer, so that a producer of plain
// text can write into an element's content.

#include "fontexport/SWXMLWriter.h"

#include <memory>

class SWEscapedXMLEntitiesWriter : public SWWriter {
public:
    explicit SWEscapedXMLEntitiesWriter(std::shared_ptr<SWXMLWriter> xmlWriter)
        : xmlWriter_(std::move(xmlWriter)) {}

    void writeString(std::string_view string) override {
        if (xmlWriter_) xmlWriter_->writeCharacters(string);
    }
    // Drops the XML writer without closing it.
    void close() override { xmlWriter_.reset(); }

private:
    std::shared_ptr<SWXMLWriter> xmlWriter_;
};
