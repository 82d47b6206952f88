#include "platform/Seams.h"

namespace platform {

namespace {

Seams& registry()
{
    static Seams instance;
    return instance;
}

// Replaces one handler; keeps the first one it replaced in previous.
template <typename Handler>
void replace(Handler& slot, std::optional<Handler>& previous, Handler next)
{
    if (!previous)
        previous = std::move(slot);
    slot = std::move(next);
}

} // namespace

const Seams& seams()
{
    return registry();
}

Seams setSeams(Seams next)
{
    Seams previous = std::move(registry());
    registry() = std::move(next);
    return previous;
}

ScopedSeams::~ScopedSeams()
{
    if (m_messageBox)
        registry().messageBox = std::move(*m_messageBox);
    if (m_programStart)
        registry().programStart = std::move(*m_programStart);
    if (m_programEnd)
        registry().programEnd = std::move(*m_programEnd);
}

ScopedSeams& ScopedSeams::setMessageBox(MessageBoxHandler handler)
{
    replace(registry().messageBox, m_messageBox, std::move(handler));
    return *this;
}

ScopedSeams& ScopedSeams::setProgramStart(ProgramStartHandler handler)
{
    replace(registry().programStart, m_programStart, std::move(handler));
    return *this;
}

ScopedSeams& ScopedSeams::setProgramEnd(ProgramEndHandler handler)
{
    replace(registry().programEnd, m_programEnd, std::move(handler));
    return *this;
}

} // namespace platform
