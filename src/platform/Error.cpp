#include "platform/Error.h"

namespace platform {

Error::Error(int number, QString description, Cause cause)
    : m_number(number), m_cause(cause), m_description(std::move(description)),
      m_utf8(m_description.toStdString())
{}

} // namespace platform
