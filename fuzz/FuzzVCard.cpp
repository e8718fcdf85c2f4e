// vCard parsing on arbitrary bytes; what we write from the parsed cards must parse to as many cards.
#include "libs/vcard/VCard.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CMultiContactVcard cards;
    cards.Parse(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    for (int i = 0; i < cards.Count(); ++i) {
        for (const VCardProperty& p : cards.At(i)->Properties()) {
            (void)p.Types();
            (void)p.Components();
        }
    }
    CMultiContactVcard again;
    again.Parse(cards.Serialise());
    if (again.Count() != cards.Count()) {
        std::abort();
    }
    return 0;
}
