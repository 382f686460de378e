#pragma once

#include <QByteArray>
#include <QString>

#include <pugixml.hpp>

// XML text in and out with pugixml's default parse and save settings: the layout every
// document the program rewrites must have, byte for byte (the declaration for version 1.0, a
// line feed, one element per line, one tab per level, UTF-8 without byte-order mark).
namespace vorn::xml {

// Parses UTF-8 text with the default parse options. Returns whether it parsed.
bool parse(pugi::xml_document &document, const QByteArray &utf8);
bool parse(pugi::xml_document &document, const QString &text);

// The whole document as written by pugixml's default save.
QByteArray save(const pugi::xml_document &document);

// One node as printed with the default print settings (no declaration).
QByteArray print(const pugi::xml_node &node);
void appendPrinted(QByteArray &out, const pugi::xml_node &node);

} // namespace vorn::xml
