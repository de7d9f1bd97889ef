#include "tools/tablora-sample/SampleCatalogue.h"

#include "platform/engine/ParadoxTables.h"
#include "tools/tablora-sample/SampleValues.h"

#include <map>
#include <stdexcept>
#include <string_view>

namespace sample {

namespace {

using namespace engine::paradox;
using K = TValueKind;

// Columns written as "Name:Type:kind|...": Type is + D T @ I S N $ L, or A/M followed by
// the size; the kind names the values' look (see `kinds` below).
std::vector<TSampleColumn> Columns(std::string_view columnText) {
    static const std::map<std::string_view, K> kinds = {
        {"id", K::Id}, {"seq", K::Sequence}, {"code", K::Code}, {"date", K::Date}, {"time", K::Time},
        {"stamp", K::Stamp}, {"calldate", K::CallDate}, {"calltime", K::CallTime}, {"line", K::Line},
        {"ext", K::Extension}, {"phone", K::Phone}, {"mobile", K::Mobile}, {"prefix", K::Prefix},
        {"keyprefix", K::KeyPrefix}, {"keyintl", K::KeyIntlPrefix}, {"intl", K::IntlPrefix},
        {"seconds", K::Seconds}, {"price", K::Price}, {"rate", K::Rate}, {"amount", K::Amount},
        {"count", K::Count}, {"small", K::Small}, {"percent", K::Percent}, {"year", K::Year},
        {"month", K::Month}, {"weekday", K::Weekday}, {"tariff", K::Tariff}, {"person", K::Person},
        {"company", K::Company}, {"city", K::City}, {"country", K::Country}, {"street", K::Street},
        {"psc", K::Psc}, {"department", K::Department}, {"function", K::Function}, {"room", K::Room},
        {"operator", K::Operator}, {"phrase", K::Phrase}, {"note", K::Note}, {"definition", K::Definition},
        {"longdefinition", K::LongDefinition}, {"bool", K::Bool}, {"ico", K::Ico}, {"dic", K::Dic},
        {"login", K::Login}, {"email", K::Email}, {"hash", K::PasswordHash}, {"authcode", K::AuthCode},
        {"invoiceno", K::InvoiceNumber}, {"firmref", K::FirmRef}, {"rawline", K::RawLine}, {"path", K::Path},
        {"fieldlist", K::FieldList}, {"logmsg", K::LogMessage}, {"calltype", K::CallType},
        {"holidaydate", K::HolidayDate}, {"holidayname", K::HolidayName}, {"vatfrom", K::VatFrom},
        {"vatrate", K::VatRate}, {"townkey", K::TownKey},
    };
    static const std::map<char, std::pair<std::uint8_t, std::uint8_t>> fixed = {
        {'+', {ftAutoInc, 4}}, {'D', {ftDate, 4}}, {'T', {ftTime, 4}}, {'@', {ftTimestamp, 8}},
        {'I', {ftLong, 4}}, {'S', {ftShort, 2}}, {'N', {ftNumber, 8}}, {'$', {ftCurrency, 8}},
        {'L', {ftLogical, 1}},
    };
    std::vector<TSampleColumn> columns;
    while (!columnText.empty()) {
        const auto bar = columnText.find('|');
        std::string_view item = columnText.substr(0, bar);
        columnText = bar == std::string_view::npos ? std::string_view() : columnText.substr(bar + 1);
        const auto c1 = item.find(':');
        const auto c2 = item.find(':', c1 + 1);
        if (c1 == std::string_view::npos || c2 == std::string_view::npos)
            throw std::logic_error("bad column " + std::string(item));
        TSampleColumn c;
        c.Name = std::string(item.substr(0, c1));
        const std::string_view type = item.substr(c1 + 1, c2 - c1 - 1);
        if (type[0] == 'A' || type[0] == 'M') {
            c.TypeCode = type[0] == 'A' ? ftAlpha : ftMemo;
            c.SizeByte = static_cast<std::uint8_t>(std::stoi(std::string(type.substr(1))));
        } else {
            const auto& [code, size] = fixed.at(type[0]);
            c.TypeCode = code;
            c.SizeByte = size;
        }
        c.Kind = kinds.at(item.substr(c2 + 1));
        columns.push_back(c);
    }
    return columns;
}

// The billing application keys most tables by an autoincrement "IDXFIELD" in front.
TSampleTable KeyedBy(const std::string& name, int keyFields, std::uint64_t rows, std::string_view columnText) {
    TSampleTable t;
    t.Name = name;
    t.Columns = Columns(columnText);
    t.KeyFieldCount = keyFields;
    t.Rows = rows;
    return t;
}
TSampleTable Keyed(const std::string& name, std::uint64_t rows, std::string_view columnText) {
    return KeyedBy(name, 1, rows, "IDXFIELD:+:id|" + std::string(columnText));
}
TSampleTable Unkeyed(const std::string& name, std::uint64_t rows, std::string_view columnText) {
    return KeyedBy(name, 0, rows, columnText);
}

} // namespace

bool TSampleTable::AutoIncrementKey() const {
    return KeyFieldCount > 0 && !Columns.empty() && Columns[0].TypeCode == ftAutoInc && Columns[0].Name == "IDXFIELD";
}

std::vector<TSampleTable> SampleTables(std::uint64_t callRows) {
    std::vector<TSampleTable> t = {
        Keyed(CallTableName, callRows,
              "Datum:D:calldate|Cas:T:calltime|Linka:A4:line|Pripojka:A6:ext|Volane_cislo:A20:phone|"
              "Trvanie:I:seconds|Cena:$:price|Tarifa:A10:tariff|Poznamka:M30:note"),
        Keyed("Linky", 16, "Linka:A4:line|Nazov:A40:phrase|Operator:A30:operator|Aktivna:L:bool"),
        Keyed("PredrLin", 20, "Linka:A4:line|Predcislie:A10:prefix|Popis:A40:phrase"),
        Keyed("Tel_zoz", 200,
              "Pripojka:A6:ext|Meno:A40:person|Oddelenie:A40:department|Miestnost:A10:room|Kredit:$:amount|"
              "Poznamka:M20:note"),
        Keyed("PredrPBU", 10, "Predcislie:A10:prefix|Popis:A40:phrase"),
        Unkeyed("Acpmer20", 50, "Zaznam:A80:rawline|Spracovane:L:bool"),
        Unkeyed("Transfer", 40, "Riadok:A120:rawline|Datum:D:date"),
        KeyedBy("Mzm_tab", 1, 100, "Predcislie:A10:keyprefix|Oblast:A40:city|Pasmo:S:small"),
        KeyedBy("Mzs_tab", 1, 150, "Predcislie:A10:keyintl|Stat:A40:country|Zona:S:small"),
        Keyed("Brany", 12, "Operator:A30:operator|Brana:A10:prefix|Popis:A40:phrase"),
        Keyed("Operatori", 8,
              "Nazov:A30:operator|ICO:A12:ico|Ulica:A40:street|Mesto:A30:city|Email:A40:email"),
        Keyed("Std_cenn", 60,
              "Tarifa:A10:tariff|Nazov:A40:phrase|Cena_min:$:rate|Cena_spoj:$:rate|Interval:S:small"),
        Keyed("Gratis", 15, "Cislo:A20:phone|Popis:A40:phrase"),
        Keyed("Vybrane", 25, "Cislo:A20:phone|Meno:A40:person|Popis:A40:phrase"),
        Keyed("NStd_Cen", 30, "Tarifa:A10:tariff|Predcislie:A10:prefix|Cena_min:$:rate|Platne_od:D:date"),
        Keyed("InterZony", 10, "Zona:S:seq|Nazov:A40:phrase|Cena_min:$:rate"),
        Keyed("UzivProg", 6, "Nazov:A40:phrase|Prikaz:A120:path|Parametre:A60:fieldlist"),
        Keyed("Smer_alt", 20, "Predcislie:A10:prefix|Operator:A30:operator|Od:T:time|Do:T:time"),
        Keyed("Smer_det", 60, "Smer_alt:I:small|Den:S:weekday|Od:T:time|Do:T:time|Brana:A10:prefix"),
        Keyed("ObvodyPO", 40, "Obvod:A10:prefix|Nazov:A40:city"),
        Keyed("PristCisOpe", 16, "Operator:A30:operator|Predcislie:A10:prefix"),
        Keyed("Sluz_tel", 120,
              "Meno:A40:person|Funkcia:A40:function|Pripojka:A6:ext|Mobil:A20:mobile|Email:A40:email"),
        Keyed("rocne_zu", 120,
              "Rok:S:year|Mesiac:S:month|Stredisko:A40:department|Suma:$:amount|Pocet_hovorov:I:count"),
        Keyed("AutCode", 80, "Kod:A8:authcode|Meno:A40:person|Oddelenie:A40:department|Limit:$:amount"),
        Keyed("VnutTarify", 20, "Tarifa:A10:tariff|Pasmo:S:small|Spicka:$:rate|Mimo_spicky:$:rate"),
        Keyed("Firmy", 60,
              "Nazov:A60:company|ICO:A12:ico|DIC:A14:dic|Ulica:A40:street|Mesto:A30:city|PSC:A6:psc|"
              "Kontakt:A40:person"),
        Keyed("PausalRozu", 20, "Stredisko:A40:department|Poplatok:$:amount|Popis:A40:phrase"),
        Keyed("PrivatNet", 30, "Cislo:A20:phone|Nazov:A40:person|Skupina:S:small"),
        Keyed("PristCisLin", 16, "Linka:A4:line|Pristupove_cislo:A10:prefix"),
        Keyed("PrieckLin", 8, "Linka:A4:line|Ciel:A40:city|Predcislie:A10:prefix"),
        Keyed("Neevid_prip", 15, "Pripojka:A6:ext|Prvy_vyskyt:D:date|Pocet:I:count"),
        Keyed("Users", 12, "Login:A20:login|Meno:A40:person|Heslo:A32:hash|Administrator:L:bool"),
        Keyed("Faktury", 400,
              "Cislo:A12:invoiceno|Firma:I:firmref|Datum:D:date|Splatnost:D:date|Suma_bez_DPH:$:amount|"
              "DPH:$:amount|Uhradena:L:bool|Poznamka:M40:note"),
        Keyed("StructStred", 25, "Kod:A10:code|Nazov:A40:department|Nadradene:I:small"),
        Keyed("ZlavyHovorov_det", 30, "Zlava:I:small|Od_sekund:I:seconds|Percento:N:percent"),
        KeyedBy("Sviatky", 1, 30, "Datum:D:holidaydate|Nazov:A40:holidayname"),
        KeyedBy("Dph_tab", 1, 4, "Platne_od:D:vatfrom|Sadzba:N:vatrate"),
        Keyed("Nar_smer", 60, "Predcislie:A10:prefix|Oblast:A40:city"),
        Keyed("Alter_skup", 10, "Nazov:A40:phrase|Operator:A30:operator"),
        Keyed("DynPasma", 12, "Nazov:A40:phrase|Od:T:time|Do:T:time|Koeficient:N:percent"),
        Keyed("Export", 8, "Nazov:A40:phrase|Subor:A120:path|Definicia:M60:definition"),
        Keyed("Filtre", 10, "Nazov:A40:phrase|Podmienka:M60:definition"),
        Keyed("Sorty", 8, "Nazov:A40:phrase|Polia:A120:fieldlist"),
        Unkeyed("Import_hovory", 500,
                "Datum:D:calldate|Cas:T:calltime|Volane_cislo:A20:phone|Trvanie:I:seconds|Cena:$:price|"
                "Operator:A30:operator"),
        Keyed("Klasif_hov", 12, "Kod:A4:code|Nazov:A40:calltype"),
        KeyedBy("MestaObce", 1, TownCount(), "Nazov:A40:townkey|PSC:A6:psc|Okres:A30:city"),
        Keyed("Projekty", 20, "Kod:A10:code|Nazov:A60:phrase|Zaciatok:D:date|Aktivny:L:bool"),
        Keyed("Reports", 10, "Nazov:A40:phrase|Definicia:M20:longdefinition"),
        Keyed("Srac_stat", 100, "Datum:D:date|Spracovane:I:count|Chybne:I:small"),
        Unkeyed("Sprac_stat_log", 300, "Cas_zapisu:@:stamp|Uzivatel:A20:login|Sprava:A120:logmsg"),
        KeyedBy("Staty", 1, 80, "Kod:A4:code|Nazov:A40:country|Predvolba:A6:intl"),
        Keyed("StatyVZonach", 80, "Stat:A4:code|Zona:S:small"),
        Keyed("TarifyVZonach", 40, "Tarifa:A10:tariff|Zona:S:small"),
        Unkeyed("TransfHovory", 100,
                "Datum:D:calldate|Cas:T:calltime|Pripojka:A6:ext|Cislo:A20:phone|Trvanie:I:seconds"),
        Unkeyed("TypHovor", 8, "Kod:A4:code|Nazov:A40:calltype"),
        Keyed("Vnutorne_hovory", 500,
              "Datum:D:calldate|Cas:T:calltime|Volajuci:A6:ext|Volany:A6:ext|Trvanie:I:seconds"),
        Keyed("VnutZony", 10, "Zona:S:seq|Nazov:A40:phrase"),
        Keyed("ZlavyHovorov", 6, "Nazov:A40:phrase|Platne_od:D:date"),
        Keyed("ZlavyStatov", 20, "Stat:A4:code|Percento:N:percent"),
    };
    // A million calls do not fit 2 KiB blocks within the 65 535 blocks a table may have,
    // nor more than about 2.8 million 4 KiB ones; 16 KiB blocks hold over 11 million.
    t[0].BlockSize = callRows > MaxCallRowsIn4KiBBlocks ? 16384 : 4096;
    for (auto& table : t) {
        // Towns keyed by name in an international order (Šamorín beside Senica), in the
        // Western code page that order belongs to.
        if (table.Name == "MestaObce") {
            table.CodePage = 1252;
            table.SortOrderCode = 0x11;
            table.SortOrderName = "ANSII850";
        }
        // Secondary indexes the engine keeps in step: on text under the binary order, and
        // a named one on a date and a time.
        if (table.Name == "Sluz_tel") table.Indexes = {{{"Pripojka"}, ""}, {{"Meno"}, ""}};
        if (table.Name == "Vnutorne_hovory") table.Indexes = {{{"Volajuci"}, ""}, {{"Datum", "Cas"}, "poDatume"}};
    }
    return t;
}

} // namespace sample
