#include "ui/Cp1251Text.h"

#include "files/Cp1251.h"

QString textFromCp1251(std::string_view bytes) {
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* d = out.data();
    for (char c : bytes)
        *d++ = QChar(cp1251::codePoint(static_cast<unsigned char>(c)));
    return out;
}
