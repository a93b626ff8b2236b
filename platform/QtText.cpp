#include "platform/QtText.h"

QString ToQString(const std::string& bytes)
{
    QString out;
    out.resize(qsizetype(bytes.size()));
    QChar* data = out.data();
    for (size_t i = 0; i < bytes.size(); ++i)
        data[i] = QChar(CharFrom1252(static_cast<unsigned char>(bytes[i])));
    return out;
}

std::string FromQString(const QString& text)
{
    std::string out;
    out.reserve(size_t(text.size()));
    for (QChar ch : text) {
        const int b = CharTo1252(ch.unicode());
        out.push_back(b < 0 ? '?' : char(b));
    }
    return out;
}
