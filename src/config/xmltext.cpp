#include "config/xmltext.h"

namespace vorn::xml {
namespace {

class ByteArrayWriter final : public pugi::xml_writer
{
public:
    explicit ByteArrayWriter(QByteArray &out)
        : m_out(out)
    {}
    void write(const void *data, size_t size) override
    {
        m_out.append(static_cast<const char *>(data), qsizetype(size));
    }

private:
    QByteArray &m_out;
};

} // namespace

bool parse(pugi::xml_document &document, const QByteArray &utf8)
{
    // The text is already UTF-8; naming the encoding keeps a stale encoding declaration in the
    // text from re-decoding it.
    return document.load_buffer(utf8.constData(), size_t(utf8.size()), pugi::parse_default,
                                pugi::encoding_utf8);
}

bool parse(pugi::xml_document &document, const QString &text)
{
    return parse(document, text.toUtf8());
}

QByteArray save(const pugi::xml_document &document)
{
    QByteArray out;
    ByteArrayWriter writer(out);
    document.save(writer, PUGIXML_TEXT("\t"), pugi::format_default, pugi::encoding_utf8);
    return out;
}

void appendPrinted(QByteArray &out, const pugi::xml_node &node)
{
    ByteArrayWriter writer(out);
    node.print(writer, PUGIXML_TEXT("\t"), pugi::format_default, pugi::encoding_utf8);
}

QByteArray print(const pugi::xml_node &node)
{
    QByteArray out;
    appendPrinted(out, node);
    return out;
}

} // namespace vorn::xml
