// Reading the messages the PKCS#7 encoder writes, for checks of their bytes:
// the body's fields in order, with or without the ContentInfo around them.
#pragma once
#include <vector>

#include "core/der/der_reader.h"

namespace testsupport::pkcs7 {

using Element = der_reader::Element;

inline std::vector<unsigned char> Of(const ByteBuffer& view)
{
    return std::vector<unsigned char>(view.pointer, view.pointer + view.length);
}

// The elements inside the whole element that fills bytes (false when it
// does not parse or does not fill them).
inline bool Children(const ByteBuffer& whole, std::vector<Element>* children)
{
    children->clear();
    DERCursor cursor = der_reader::Inside(whole);
    Element element;
    if (!der_reader::ReadAny(&cursor, &element) || !der_reader::AtEnd(cursor)) return false;
    DERCursor inner = der_reader::Inside(element.content);
    while (!der_reader::AtEnd(inner)) {
        if (!der_reader::ReadAny(&inner, &element)) return false;
        children->push_back(element);
    }
    return true;
}

// The body's fields of a wrapped message (ContentInfo { OID, [0] { SEQUENCE } }),
// and the outer OID's content.
inline bool WrappedBody(const std::vector<unsigned char>& message, ByteBuffer* outerOid, std::vector<Element>* fields)
{
    std::vector<Element> info, explicitContent;
    ByteBuffer all{const_cast<unsigned char*>(message.data()), message.size()};
    if (!Children(all, &info) || info.size() != 2 || !Children(info[1].whole, &explicitContent) ||
        explicitContent.size() != 1)
        return false;
    *outerOid = info[0].content;
    return Children(explicitContent[0].whole, fields);
}

}  // namespace testsupport::pkcs7
