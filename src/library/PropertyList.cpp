#include "library/PropertyList.h"

#include "library/DatabaseFiles.h"

#include <limits>

std::optional<PropertyList> PropertyList::parseDictionary(const QByteArray& data) {
    if (data.isEmpty() || data.size() > std::numeric_limits<std::uint32_t>::max())
        return std::nullopt;
    plist_t node = nullptr;
    plist_from_memory(data.constData(), static_cast<std::uint32_t>(data.size()), &node);
    GLibHandles::PlistPtr root(node);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return std::nullopt;
    return PropertyList(std::move(root));
}

std::optional<PropertyList> PropertyList::readDictionary(const QString& path) {
    const auto data = DatabaseFiles::read(path);
    return data ? parseDictionary(*data) : std::nullopt;
}

plist_t PropertyList::item(const char* key) const {
    return plist_dict_get_item(root_.get(), key);
}

bool PropertyList::contains(const char* key) const {
    return item(key) != nullptr;
}

std::optional<QString> PropertyList::string(const char* key) const {
    plist_t node = item(key);
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return std::nullopt;
    char* value = nullptr;
    plist_get_string_val(node, &value);
    if (!value)
        return std::nullopt;
    QString text = QString::fromUtf8(value);
    free(value);
    return text;
}

std::optional<bool> PropertyList::boolean(const char* key) const {
    plist_t node = item(key);
    if (!node || plist_get_node_type(node) != PLIST_BOOLEAN)
        return std::nullopt;
    std::uint8_t value = 0;
    plist_get_bool_val(node, &value);
    return value != 0;
}

std::optional<std::uint64_t> PropertyList::unsignedInteger(const char* key) const {
    plist_t node = item(key);
    if (!node || plist_get_node_type(node) != PLIST_UINT)
        return std::nullopt;
    std::uint64_t value = 0;
    plist_get_uint_val(node, &value);
    return value;
}

std::optional<QList<PropertyList>> PropertyList::dictionaries(const char* key) const {
    plist_t node = item(key);
    if (!node || plist_get_node_type(node) != PLIST_ARRAY)
        return std::nullopt;
    QList<PropertyList> items;
    const std::uint32_t count = plist_array_get_size(node);
    for (std::uint32_t i = 0; i < count; ++i) {
        plist_t child = plist_array_get_item(node, i);
        if (!child || plist_get_node_type(child) != PLIST_DICT)
            return std::nullopt;
        items.append(PropertyList(Node(root_, child))); // kept alive by the whole list
    }
    return items;
}
