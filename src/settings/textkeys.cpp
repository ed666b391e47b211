#include "settings/textkeys.h"

#include <QByteArray>

#include <array>

namespace jw::keys {

TextKey method(int number)
{
    static const std::array<QByteArray, kMethodCount> names = [] {
        std::array<QByteArray, kMethodCount> built;
        for (int i = 0; i < kMethodCount; ++i)
            built[size_t(i)] = "method_" + QByteArray::number(i);
        return built;
    }();
    Q_ASSERT(number >= 0 && number < kMethodCount);
    return TextKey(names[size_t(number)].constData());
}

const QList<TextKey> &all()
{
    static const QList<TextKey> keys = [] {
#define JW_LIST_TEXT_KEY(id, text) id,
        QList<TextKey> list{JW_TEXT_KEYS(JW_LIST_TEXT_KEY)};
#undef JW_LIST_TEXT_KEY
        for (int i = 0; i < kMethodCount; ++i)
            list.append(method(i));
        return list;
    }();
    return keys;
}

} // namespace jw::keys
