#include "updater/feed/RSS.h"

#include "platform/core/Assert.h"
#include "platform/transfers/URLRequest.h"
#include "updater/feed/RSSDate.h"
#include "updater/shared/OMAUStringExtras.h"

#include <fmt/format.h>

#include <algorithm>
#include <pugixml.hpp>

namespace {

// A feed is text; anything larger than this is not one.
constexpr uint64_t kMaximumFeedLength = 32 * 1024 * 1024;
constexpr auto kFeedTimeout = std::chrono::seconds(30);

std::string withoutRSSPrefix(std::string_view name) {
    if (name.starts_with("rss:")) name.remove_prefix(4);
    return std::string(name);
}

std::string stringValue(const RSSItem& item, const char* key) {
    auto it = item.find(key);
    return it != item.end() && it->is_string() ? it->get<std::string>() : std::string();
}

size_t characterCount(std::string_view text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The text after the first `open` up to the next `close` (or the end).
std::optional<std::string> textBetween(std::string_view text, std::string_view open, char close) {
    const auto start = text.find(open);
    if (start == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(start + open.size());
    return std::string(rest.substr(0, rest.find(close)));
}

std::string strippedAndTrimmed(std::string_view text) {
    return OMAUTrimWhiteSpace(OMAUStripHTML(text));
}

}  // namespace

lf::Result<RSS> RSS::withURL(const std::string& url, bool normalize, const std::string& userAgent) {
    lf::URLRequest request;
    request.url = url;
    request.userAgent = userAgent;
    request.timeout = kFeedTimeout;
    request.maximumLength = kMaximumFeedLength;
    request.requiresSecureTransport = true;
    lf::Result<lf::Data> data = lf::loadURLSynchronously(request);
    if (!data) return data.error();
    return withData(data->stringView(), normalize);
}

lf::Result<RSS> RSS::withData(std::string_view data, bool normalize) {
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(data.data(), data.size(),
                             pugi::parse_default | pugi::parse_declaration, pugi::encoding_auto);
    if (!parsed)
        return lf::Error(
            kRSSErrorDomain, 1,
            {{lf::kLocalizedDescriptionKey, fmt::format("the feed is not XML: {} at byte {}",
                                                        parsed.description(), parsed.offset)}});
    RSS feed(normalize);
    if (pugi::xml_node channel = feed.getChannelTree(document)) {
        feed.createHeaderDictionary(channel);
        feed.createItemsArray(feed.isRDF_ ? channel.parent() : channel);
    }
    feed.setVersionString(document);
    return feed;
}

RSS::RSS(const std::string& title, const std::string& description) {
    headerItems_["title"] = title;
    headerItems_["description"] = description;
    version_ = "synthetic";
}

const RSSItem& RSS::newestItem() const {
    LF_PRECONDITION(!newsItems_.empty(), "the feed has no items");
    return newsItems_.front();
}

pugi::xml_node RSS::getNamedTree(const pugi::xml_node& node, std::string_view name) {
    for (pugi::xml_node child = node.last_child(); child; child = child.previous_sibling())
        if (child.type() == pugi::node_element && name == child.name()) return child;
    return {};
}

pugi::xml_node RSS::getChannelTree(const pugi::xml_document& document) {
    pugi::xml_node root = getNamedTree(document, "rss");
    if (!root) {
        root = getNamedTree(document, "rdf:RDF");
        if (!root) return {};
        isRDF_ = true;
    }
    if (pugi::xml_node channel = getNamedTree(root, "channel")) return channel;
    return getNamedTree(root, "rss:channel");
}

std::string RSS::getElementValue(const pugi::xml_node& element) {
    std::string value;
    for (pugi::xml_node child : element.children()) {
        switch (child.type()) {
            case pugi::node_pcdata:
            case pugi::node_cdata:
                value += child.value();
                break;
            case pugi::node_element:
                value += child.name();
                break;
            default:
                break;
        }
    }
    return value;
}

void RSS::createHeaderDictionary(const pugi::xml_node& channel) {
    for (pugi::xml_node child : channel.children()) {
        if (child.type() != pugi::node_element) continue;
        const std::string name = withoutRSSPrefix(child.name());
        if (name == "item") break;
        if (name == "image") {
            for (pugi::xml_node imageChild : child.children())
                if (imageChild.type() == pugi::node_element)
                    headerItems_["image" + withoutRSSPrefix(imageChild.name())] =
                        getElementValue(imageChild);
        }
        headerItems_[name] = getElementValue(child);
    }
}

void RSS::createItemsArray(const pugi::xml_node& container) {
    for (pugi::xml_node itemNode : container.children()) {
        if (itemNode.type() != pugi::node_element || withoutRSSPrefix(itemNode.name()) != "item")
            continue;
        RSSItem item = RSSItem::object();
        for (pugi::xml_node child : itemNode.children()) {
            if (child.type() != pugi::node_element) continue;
            const std::string name = withoutRSSPrefix(child.name());
            if (name == "enclosure") {
                RSSItem attributes = RSSItem::object();
                for (pugi::xml_attribute attribute : child.attributes())
                    attributes[attribute.name()] = attribute.value();
                item[name] = std::move(attributes);
                continue;
            }
            item[name] = getElementValue(child);
            if (name == "source") {
                if (pugi::xml_attribute home = child.attribute("homeUrl"))
                    item["sourceHomeUrl"] = home.value();
                if (pugi::xml_attribute url = child.attribute("url"))
                    item["sourceRssUrl"] = url.value();
            }
        }
        if (normalize_) normalizeRSSItem(item);
        newsItems_.push_back(std::move(item));
    }
    // Newest first; items whose date cannot be read follow, in feed order.
    std::vector<std::pair<std::optional<std::chrono::sys_seconds>, RSSItem>> dated;
    for (auto& item : newsItems_)
        dated.emplace_back(RSSParseDate(stringValue(item, "pubDate")), std::move(item));
    std::stable_sort(dated.begin(), dated.end(), [](const auto& a, const auto& b) {
        if (!b.first) return a.first.has_value();
        return a.first && *a.first > *b.first;
    });
    for (size_t i = 0; i < dated.size(); ++i)
        newsItems_[i] = std::move(dated[i].second);
}

void RSS::setVersionString(const pugi::xml_document& document) {
    if (isRDF_) {
        version_ = "rdf";
    } else if (pugi::xml_node rss = getNamedTree(document, "rss")) {
        if (pugi::xml_attribute version = rss.attribute("version")) version_ = version.value();
    }
}

void RSS::normalizeRSSItem(RSSItem& item) {
    const bool hadDescription = item.contains("description");
    const std::string description = OMAUTrimWhiteSpace(stringValue(item, "description"));
    item["description"] = description;
    const bool hasDescription = hadDescription && !description.empty();

    std::string link = stringValue(item, "link");
    if (OMAUStringIsEmpty(link) && hasDescription)
        if (auto href = textBetween(description, "href=\"", '"')) link = *href;
    item["link"] = OMAUTrimWhiteSpace(link);

    std::string title = strippedAndTrimmed(stringValue(item, "title"));
    if (title.empty() && hasDescription) {
        if (auto firstText = textBetween(description, ">", '<'))
            title = strippedAndTrimmed(*firstText);
        if (title.empty())
            title =
                OMAUTrimWhiteSpace(OMAUEllipsizeAfterNWords(strippedAndTrimmed(description), 5)) +
                "...";
    }
    title = strippedAndTrimmed(title);
    if (title.empty()) title = "Untitled";
    item["title"] = title;

    if (!hasDescription && characterCount(title) >= 51) {
        item["description"] = title;
        item["title"] = strippedAndTrimmed(OMAUEllipsizeAfterNWords(title, 7)) + "...";
    }

    if (title.find('&') != std::string::npos && title.find(';') != std::string::npos) {
        std::string converted = OMAUTrimWhiteSpace(OMAUPlainTextOfHTML(title));
        item["convertedTitle"] = converted.empty() ? "Untitled" : converted;
    }
}
