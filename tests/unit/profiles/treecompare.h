#pragma once

// Tree comparison for the profile tests and fuzz targets: whether a kept tree is exactly
// what a fresh parse gives.

#include "config/profilestore.h"
#include "config/xmltext.h"

#include <pugixml.hpp>

#include <cstring>

namespace vorn::testing {

// Whether two trees have the same nodes (types, names, values, attributes, order). Walks
// without recursion.
inline bool sameTree(const pugi::xml_node &a, const pugi::xml_node &b)
{
    pugi::xml_node x = a, y = b;
    for (;;) {
        if (x.type() != y.type() || std::strcmp(x.name(), y.name()) != 0 ||
            std::strcmp(x.value(), y.value()) != 0)
            return false;
        pugi::xml_attribute p = x.first_attribute(), q = y.first_attribute();
        for (; p && q; p = p.next_attribute(), q = q.next_attribute()) {
            if (std::strcmp(p.name(), q.name()) != 0 || std::strcmp(p.value(), q.value()) != 0)
                return false;
        }
        if (p || q)
            return false;
        if (x.first_child() || y.first_child()) {
            if (!x.first_child() || !y.first_child())
                return false;
            x = x.first_child();
            y = y.first_child();
            continue;
        }
        for (;;) {
            if (x == a)
                return y == b;
            if (x.next_sibling() || y.next_sibling()) {
                if (!x.next_sibling() || !y.next_sibling())
                    return false;
                x = x.next_sibling();
                y = y.next_sibling();
                break;
            }
            x = x.parent();
            y = y.parent();
        }
    }
}

// Whether the tree kept for a document is exactly what parsing its text gives.
inline bool keptTreeMatchesText(ProfileStore &store, const QString &fullPath)
{
    const pugi::xml_document *kept = store.keptTree(fullPath);
    if (!kept)
        return true;
    pugi::xml_document reparsed;
    return xml::parse(reparsed, store.profileText(fullPath)) && sameTree(*kept, reparsed);
}

} // namespace vorn::testing
