#include "Error.h"

namespace platform {

Error::Error(int number, QString description)
    : m_number(number), m_description(std::move(description)), m_utf8(m_description.toStdString())
{}

} // namespace platform
