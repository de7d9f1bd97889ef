// The Slovak explanations of the library's result codes, and the detail of the most recent
// failure, so that a message names what failed ("disk full while writing ...").
#include "platform/tutil/TableUtility.h"
#include "platform/tutil/UtilityFailure.h"
#include "platform/rtl/Messages.h"

#include <cstring>
#include <string>

namespace tutil {

namespace {

struct TLastFailure {
    TUResult Code = TUERR_NONE;
    std::string Detail;
};

TLastFailure& Last() {
    static TLastFailure last;
    return last;
}

std::string BaseText(TUResult code) {
    switch (code) {
    case TUERR_NONE: return "Bez chyby.";
    case TUERR_INVALIDHANDLE: return "Neplatné číslo relácie knižnice.";
    case TUERR_BUSY: return "Knižnica už pracuje s inou tabuľkou; naraz je možná len jedna rekonštrukcia.";
    case TUERR_INVALIDPARAM: return "Neplatný parameter volania knižnice.";
    case TUERR_NOSUCHTABLE: return "Tabuľka neexistuje.";
    case TUERR_NOTATABLE: return "Súbor nie je tabuľka Paradox alebo má poškodenú hlavičku.";
    case TUERR_UNKNOWNTBLTYPE: return "Nepodporovaný typ tabuľky (podporovaný je len PARADOX).";
    case TUERR_ENCRYPTED: return "Tabuľka je chránená heslom; jej záznamy nie je možné prečítať.";
    case TUERR_LOCKED: return "Tabuľku alebo adresár databázy práve mení iný program.";
    case TUERR_DESCMISMATCH: return "Popis tabuľky nezodpovedá tabuľke na disku.";
    case TUERR_COMPANIONDIR: return "Adresár pre záložnú a pomocné tabuľky nie je možné vytvoriť; tabuľka ostala nezmenená.";
    case TUERR_BACKUP: return "Záložnú kópiu tabuľky nie je možné vytvoriť; tabuľka ostala nezmenená.";
    case TUERR_READ: return "Tabuľku nie je možné čítať.";
    case TUERR_WRITE: return "Novú tabuľku nie je možné zapísať; pôvodná tabuľka ostala nezmenená.";
    case TUERR_SWAP: return "Novú tabuľku nie je možné dať na miesto pôvodnej.";
    case TUERR_ABORTED: return "Rekonštrukcia bola prerušená; tabuľka ostala nezmenená.";
    case TUERR_INTERNAL: return "Vnútorná chyba knižnice.";
    case TUERR_ROWSSHORT: return rtl::Text(rtl::TMsg::UtilityRowsShort, rtl::TLanguage::Slovak);
    default: return "Neznámy kód chyby " + std::to_string(code) + ".";
    }
}

// The longest prefix of `text` of at most `limit` bytes that does not cut a UTF-8 character.
std::size_t CharacterBoundary(const std::string& text, std::size_t limit) {
    if (limit >= text.size()) return text.size();
    std::size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    return n;
}

} // namespace

void RememberFailure(TUResult code, const std::string& detail) { Last() = TLastFailure{code, detail}; }

std::size_t TUGetErrorString(TUResult code, char* buffer, std::size_t size) {
    std::string text = BaseText(code);
    if (code != TUERR_NONE && Last().Code == code && !Last().Detail.empty()) {
        if (text.back() == '.') text.pop_back();
        text += " (" + Last().Detail + ").";
    }
    if (buffer && size > 0) {
        const std::size_t n = CharacterBoundary(text, size - 1);
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    return text.size();
}

} // namespace tutil
