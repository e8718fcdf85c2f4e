#pragma once
// The type choosers of the contact editor: per kind of entry, the type codes in the order the
// chooser offers them with their names, and the name of an entry (its custom label for code 0).
// Pure; any thread.

#include <QString>

#include <vector>

namespace contacts {

enum class FieldKind { Phone, Email, Web, Address, Im };

struct FieldType {
    int code = 0;
    int stringId = 0;
};

// The chooser's entries in order; the custom entry (code 0) is among them except for IM, whose
// code 0 is a protocol.
const std::vector<FieldType>& FieldTypes(FieldKind kind);
// Whether code means a custom label for kind.
bool IsCustomType(FieldKind kind, int code);
// The chooser's name of code, or label for a custom entry; the first entry's name for an unknown code.
QString FieldTypeName(FieldKind kind, int code, const QString& label = {});

} // namespace contacts
