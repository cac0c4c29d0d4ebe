#pragma once
// RSS: an RSS 2.0 or RSS 1.0 (RDF) feed, parsed into the channel's header
// and its items, newest first.
//
// An item is a JSON object of each child element's name (a leading "rss:"
// removed) to its text; "enclosure" maps to an object of the enclosure's
// attributes instead, and a "source" also adds its "homeUrl" and "url"
// attributes as "sourceHomeUrl" and "sourceRssUrl". A later child of the
// same name replaces an earlier one. With normalisation, every item has a
// trimmed "description", a "link" and a "title" (see normalizeRSSItem).
//
// An element's text is the concatenation of its direct children's: text
// and CDATA as written (the XML parser has decoded character references),
// a child element contributing its name.

#include "platform/core/Result.h"

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
class xml_document;
class xml_node;
}  // namespace pugi

using RSSItem = nlohmann::json;

inline constexpr const char* kRSSErrorDomain = "RSSErrorDomain";

class RSS {
public:
    // Fetches (with the user agent when not empty) over https, or plain
    // http from this computer itself, and parses; a refused URL or
    // redirect, a failed download or a document that is not XML is an
    // error.
    static lf::Result<RSS> withURL(const std::string& url, bool normalize,
                                   const std::string& userAgent = {});
    static lf::Result<RSS> withData(std::string_view data, bool normalize);
    // A feed without items whose header holds the title and description.
    RSS(const std::string& title, const std::string& description);

    const std::map<std::string, std::string>& headerItems() const { return headerItems_; }
    const std::vector<RSSItem>& newsItems() const { return newsItems_; }
    // "rdf", the "rss" element's "version" attribute, "synthetic", or empty.
    const std::string& version() const { return version_; }
    bool isRDF() const { return isRDF_; }
    // The first item; the feed must hold one.
    const RSSItem& newestItem() const;

    // Fills in "description", "link" and "title" (and "convertedTitle"
    // where the title holds character references) as feeds leave them out.
    static void normalizeRSSItem(RSSItem& item);

private:
    explicit RSS(bool normalize) : normalize_(normalize) {}
    void createHeaderDictionary(const pugi::xml_node& channel);
    void createItemsArray(const pugi::xml_node& container);
    void setVersionString(const pugi::xml_document& document);
    pugi::xml_node getChannelTree(const pugi::xml_document& document);
    static pugi::xml_node getNamedTree(const pugi::xml_node& node, std::string_view name);
    static std::string getElementValue(const pugi::xml_node& element);

    bool normalize_ = false;
    bool isRDF_ = false;
    std::map<std::string, std::string> headerItems_;
    std::vector<RSSItem> newsItems_;
    std::string version_;
};
