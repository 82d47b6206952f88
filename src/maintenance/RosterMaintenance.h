#pragma once

// Wholesale changes to the roster, each after the operator's confirmation.

// Command6: marks every student as not present. Throws platform::Error.
void checkOutAllStudents();
// Command3: deletes every registered student. Throws platform::Error.
void deleteAllStudents();
