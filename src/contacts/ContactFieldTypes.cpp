#include "contacts/ContactFieldTypes.h"

#include "platform/StringTable.h"

namespace contacts {

const std::vector<FieldType>& FieldTypes(FieldKind kind) {
    static const std::vector<FieldType> phone{{2, 186}, {1, 187}, {3, 188}, {4, 189}, {5, 190},
                                              {7, 191}, {0, 192}, {9, 193}, {11, 194}};
    static const std::vector<FieldType> email{{1, 195}, {2, 196}, {3, 197}, {0, 198}};
    static const std::vector<FieldType> web{{1, 199}, {2, 200}, {5, 201}, {7, 202}, {0, 203}};
    static const std::vector<FieldType> address{{1, 204}, {2, 205}, {3, 206}, {0, 207}};
    static const std::vector<FieldType> im{{4, 208}, {1, 209}, {3, 210}, {5, 211},
                                           {0, 212}, {2, 213}, {6, 214}, {7, 215}};
    switch (kind) {
    case FieldKind::Phone:
        return phone;
    case FieldKind::Email:
        return email;
    case FieldKind::Web:
        return web;
    case FieldKind::Address:
        return address;
    case FieldKind::Im:
        break;
    }
    return im;
}

bool IsCustomType(FieldKind kind, int code) {
    return kind != FieldKind::Im && code == 0;
}

QString FieldTypeName(FieldKind kind, int code, const QString& label) {
    if (IsCustomType(kind, code) && !label.isEmpty()) {
        return label;
    }
    const std::vector<FieldType>& types = FieldTypes(kind);
    for (const FieldType& t : types) {
        if (t.code == code) {
            return Str(t.stringId);
        }
    }
    return Str(types.front().stringId);
}

} // namespace contacts
