#pragma once
// QFICNSContainer: the elements of one ICNS icon file, and the file's
// bytes. All integers are big-endian; every length counts its own 8-byte
// header:
//
//   "icns", total length
//   "TOC ", 8 + 8 per payload; then per payload: type, record length
//   per payload, in the same order: type, payload length + 8, payload
//
// The container holds at most one element per size, in the order they
// were added (a replaced size moves to the end). Reading checks every
// length against the data: a damaged file gives fewer elements, or none,
// never a read outside it.

#include "flows/icns/QFICNSElement.h"
#include "platform/files/Data.h"

#include <memory>
#include <vector>

class QFICNSContainer {
public:
    QFICNSContainer() = default;
    // The elements of ICNS data; null when the data is not an ICNS file.
    // Elements that cannot be decoded are left out.
    static std::shared_ptr<QFICNSContainer> create(const lf::Data& data);

    const std::vector<std::shared_ptr<QFICNSElement>>& elements() const { return elements_; }
    void setElements(std::vector<std::shared_ptr<QFICNSElement>> elements) {
        elements_ = std::move(elements);
    }
    // Removes every element of the same size, then appends `element`.
    void addElement(std::shared_ptr<QFICNSElement> element);

    // The file's bytes; elements that cannot be written are left out.
    lf::Data ICNSRepresentation() const;

private:
    std::vector<std::shared_ptr<QFICNSElement>> elements_;
};
