#pragma once

#include <QByteArrayView>
#include <QStringView>

namespace jw {

// The program's one way of reading a stored text as a number: "0" is put in
// front of the text and the result is read as a decimal integer. An empty
// text therefore reads as 0; a sign, a blank, a letter or a value beyond the
// range of int throws ConversionError with the message
// "'%s' is not a valid integer value", quoting the text with the "0".
int toNumber(QByteArrayView text);
int toNumber(QStringView text);

} // namespace jw
