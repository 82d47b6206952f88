#pragma once

#include "engine/FieldKind.h"
#include "engine/Value.h"

#include <QByteArrayView>
#include <optional>
#include <sqlite3.h>
#include <vector>

namespace engine::detail {

// The kinds of a statement's result columns, by their declared types.
std::vector<FieldKind> fieldKinds(sqlite3_stmt* stmt);
Value readField(sqlite3_stmt* stmt, int column, FieldKind kind);
// The UTF-8 bytes of the text readField gives for the field, without making
// the QString; nothing when readField gives anything but text as stored. The
// bytes live until the statement steps on.
std::optional<QByteArrayView> readTextField(sqlite3_stmt* stmt, int column, FieldKind kind);

} // namespace engine::detail
