#pragma once

#include "library/GLibHandles.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// A property-list dictionary (XML or binary) such as SysInfoExtended, read-only.
class PropertyList {
public:
    // None when the data is no property list or its top level is not a dictionary.
    static std::optional<PropertyList> parseDictionary(const QByteArray& data);
    // Reads the whole file first; none on any failure.
    static std::optional<PropertyList> readDictionary(const QString& path);

    bool contains(const char* key) const;
    std::optional<QString> string(const char* key) const;
    std::optional<bool> boolean(const char* key) const;
    // Integers are unsigned here, so a negative stored value reads as a huge one.
    std::optional<std::uint64_t> unsignedInteger(const char* key) const;
    // The items of an array of dictionaries; none when the value is not an array or one of its
    // items is not a dictionary.
    std::optional<QList<PropertyList>> dictionaries(const char* key) const;

private:
    using Node = std::shared_ptr<std::remove_pointer_t<plist_t>>;
    explicit PropertyList(GLibHandles::PlistPtr root)
        : root_(std::move(root)) {}
    // A dictionary within the list that owns root.
    explicit PropertyList(Node node)
        : root_(std::move(node)) {}
    plist_t item(const char* key) const;

    Node root_;
};
