#include "tools/tablora-sample/SampleValues.h"

#include "platform/engine/ParadoxTables.h"

#include <cstdio>
#include <string>

namespace sample {

namespace {

using engine::TValue;
using engine::paradox::DayNumberFromCivil;

const char* const firstNames[] = {"Ján", "Peter", "Mária", "Jozef", "Zuzana", "Ľubomír", "Katarína", "Štefan",
                                  "Eva", "Michal", "Žofia", "Ľudmila", "Tomáš", "Andrea", "Juraj", "Jana",
                                  "Martin", "Lucia", "Dušan", "Oľga"};
const char* const lastNames[] = {"Novák", "Horváth", "Kováč", "Varga", "Tóth", "Baláž", "Šimko", "Čierny",
                                 "Šťastný", "Lukáč", "Ďurica", "Mikuláš", "Hudák", "Slovák", "Kríž", "Polák",
                                 "Žiak", "Bielik", "Gašpar", "Kučera"};
const char* const cities[] = {"Bratislava", "Košice", "Žilina", "Banská Bystrica", "Prešov", "Nitra", "Trenčín",
                              "Trnava", "Poprad", "Piešťany", "Ružomberok", "Dunajská Streda", "Spišská Nová Ves",
                              "Liptovský Mikuláš", "Zvolen", "Lučenec", "Levice", "Komárno", "Michalovce",
                              "Bardejov", "Považská Bystrica", "Šaľa", "Čadca", "Rožňava"};
// In an international order: letters compared without their accents and letter case first
// (Šamorín before Senica, Žilina before Zlaté Moravce), unlike the order of their bytes.
const char* const townsInOrder[] = {"Bánovce nad Bebravou", "Bardejov", "Bratislava", "Brezno", "Detva", "Dunajská Streda", "Galanta", "Gelnica", "Hlohovec", "Humenné", "Ilava", "Kežmarok", "Komárno", "Košice", "Krupina", "Kysucké Nové Mesto", "Levice", "Liptovský Mikuláš", "Malacky", "Martin", "Medzilaborce", "Michalovce", "Modra", "Myjava", "Námestovo", "Nitra", "Nové Mesto nad Váhom", "Nové Zámky", "Pezinok", "Poprad", "Považská Bystrica", "Prešov", "Prievidza", "Púchov", "Revúca", "Rimavská Sobota", "Ružomberok", "Sabinov", "Šamorín", "Senica", "Skalica", "Snina", "Sobrance", "Spišská Nová Ves", "Stropkov", "Štúrovo", "Šurany", "Svidník", "Trebišov", "Trnava", "Tvrdošín", "Žarnovica", "Žiar nad Hronom", "Žilina", "Zlaté Moravce", "Zvolen"};
const char* const countries[] = {"Česko", "Maďarsko", "Poľsko", "Rakúsko", "Nemecko", "Ukrajina", "Taliansko",
                                 "Francúzsko", "Španielsko", "Veľká Británia", "Chorvátsko", "Slovinsko",
                                 "Švajčiarsko", "Švédsko", "Nórsko", "Dánsko", "Grécko", "Turecko",
                                 "Spojené štáty", "Kanada", "Čína", "Japonsko", "Rumunsko", "Bulharsko"};
const char* const streets[] = {"Hlavná", "Štúrova", "Námestie SNP", "Mierová", "Záhradnícka", "Kpt. Nálepku",
                               "Hviezdoslavova", "Šafárikova", "Dlhá", "Kuzmányho", "Ľ. Podjavorinskej",
                               "Poštová", "Železničná", "Priemyselná"};
const char* const departments[] = {"Účtovníctvo", "Obchodné oddelenie", "Sklad", "Vedenie spoločnosti",
                                   "Personálne oddelenie", "IT podpora", "Výroba", "Recepcia", "Údržba",
                                   "Marketing", "Právne oddelenie", "Nákup"};
const char* const functions[] = {"riaditeľ", "vedúci oddelenia", "účtovníčka", "technik", "referent",
                                 "asistentka", "skladník", "obchodný zástupca", "vrátnik", "správca siete"};
const char* const operators[] = {"Slovak Telekom", "Orange Slovensko", "O2 Slovakia", "4ka", "SWAN",
                                 "Energotel", "Antik Telecom", "Benestra"};
const char* const companyStems[] = {"Stavebná spoločnosť", "Dopravný podnik", "Poľnohospodárske družstvo",
                                    "Strojáreň", "Účtovná kancelária", "Pekáreň", "Tlačiareň", "Drevovýroba",
                                    "Vodárne", "Autoservis", "Cestovná kancelária", "Elektromontáže"};
const char* const companyForms[] = {"s.r.o.", "a.s.", "družstvo", "š.p.", "v.o.s."};
const char* const phrases[] = {"Štandardné nastavenie", "Pracovné dni", "Víkend a sviatky", "Mimo špičky",
                               "Špička", "Medzimestské hovory", "Mobilné siete", "Zahraničie – Európa",
                               "Zahraničie – zámorie", "Služobné čísla", "Tiesňové volania", "Bezplatné linky",
                               "Informačné služby", "Prenos dát", "Zvýhodnené čísla", "Priamy výber"};
const char* const notes[] = {"Hovor na žiadosť vedenia", "Súkromný hovor – hradí zamestnanec",
                             "Reklamácia faktúry u dodávateľa", "Objednávka tovaru", "Konzultácia s audítorom",
                             "Prerušené spojenie, opakovaný pokus", "Služobná cesta – Košice",
                             "Technická podpora, čakanie na linke", "Dohodnuté stretnutie v Žiline",
                             "Účtované podľa zmluvy č. 12/2024"};
const char* const tariffs[] = {"MIESTNY", "MEDZIMESTO", "MOBIL_T", "MOBIL_O", "MOBIL_2", "ZAHR_EU", "ZAHR_SV",
                               "BEZPL", "INFO", "PREMIUM"};
const char* const callTypes[] = {"Miestny", "Medzimestský", "Mobilný", "Medzinárodný", "Bezplatný",
                                 "Služobný", "Súkromný", "Vnútorný"};
const char* const logMessages[] = {"Spracovanie hovorov dokončené", "Import údajov od operátora",
                                   "Prepočet cien podľa taríf", "Chyba čítania záznamu ústredne – preskočené",
                                   "Záloha databázy vytvorená", "Uzávierka mesiaca", "Zmena cenníka"};
const char* const logins[] = {"admin", "jnovak", "mkovacova", "pvarga", "zsimkova", "operator", "uctaren",
                              "lhudak"};
struct THoliday {
    int Month, Day;
    const char* Name;
};
const THoliday holidays[] = {
    {1, 1, "Deň vzniku Slovenskej republiky"}, {1, 6, "Zjavenie Pána"},
    {4, 18, "Veľký piatok"}, {4, 21, "Veľkonočný pondelok"},
    {5, 1, "Sviatok práce"}, {5, 8, "Deň víťazstva nad fašizmom"},
    {7, 5, "Sviatok sv. Cyrila a Metoda"}, {8, 29, "Výročie SNP"},
    {9, 1, "Deň Ústavy SR"}, {9, 15, "Sedembolestná Panna Mária"},
    {11, 1, "Sviatok všetkých svätých"}, {11, 17, "Deň boja za slobodu a demokraciu"},
    {12, 24, "Štedrý deň"}, {12, 25, "Prvý sviatok vianočný"},
    {12, 26, "Druhý sviatok vianočný"},
};
struct TVat {
    int Year;
    double Rate;
};
const TVat vatPeriods[] = {{2003, 20}, {2004, 19}, {2011, 20}, {2025, 23}};

std::string Format(const char* format, long long a, long long b = 0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

// Calls spread evenly over the year 2025, so row order is time order.
constexpr std::int64_t callSpanSeconds = 365LL * 86400;
std::int64_t CallSecond(std::uint64_t row, std::uint64_t rows) {
    return static_cast<std::int64_t>(static_cast<double>(row) * callSpanSeconds / static_cast<double>(rows ? rows : 1));
}

std::string Person(TSampleRandom& r) {
    const std::string first = r.Pick(firstNames);
    std::string last = r.Pick(lastNames);
    // Women's surnames take "-ová" (Novák → Nováková); adjectives end in "-á" (Šťastný → Šťastná).
    const bool woman = first.back() == 'a';
    if (woman) {
        const auto ends = [&](const std::string& s) {
            return last.size() > s.size() && last.compare(last.size() - s.size(), s.size(), s) == 0;
        };
        if (ends("ý")) last.replace(last.size() - 2, 2, "á");
        else if (ends("y")) last.back() = 'a';
        else last += "ová";
    }
    return first + " " + last;
}

std::string Definition(TSampleRandom& r, int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i)
        text += std::string("Pole ") + r.Pick(phrases) + "; zoradenie podľa " + r.Pick(departments) +
                "; podmienka Trvanie > " + std::to_string(r.Between(0, 600)) + " s\r\n";
    return text;
}

} // namespace

std::uint64_t TownCount() { return sizeof townsInOrder / sizeof townsInOrder[0]; }

TValue SampleValue(const TSampleColumn& column, bool isKey, std::uint64_t row, std::uint64_t rows,
                   TSampleRandom& r) {
    const auto n = static_cast<long long>(row);
    switch (column.Kind) {
    case TValueKind::Id:
    case TValueKind::Sequence: return static_cast<std::int64_t>(row + 1);
    case TValueKind::Code:
        return isKey ? Format("%c%03lld", 'A' + (n / 1000) % 26, n % 1000)
                     : Format("%c%03lld", 'A', r.Between(0, 79));
    case TValueKind::Date: return DayNumberFromCivil(2020 + r.Between(0, 5), static_cast<int>(r.Between(1, 12)),
                                                     static_cast<int>(r.Between(1, 28)));
    case TValueKind::Time: return static_cast<std::int64_t>(r.Between(0, 47) * 30 * 60 * 1000);
    case TValueKind::Stamp:
        return static_cast<double>(DayNumberFromCivil(2025, 1, 1) + n / 3) * 86400000.0 +
               static_cast<double>(r.Between(6 * 3600, 20 * 3600)) * 1000.0;
    case TValueKind::CallDate: return DayNumberFromCivil(2025, 1, 1) + CallSecond(row, rows) / 86400;
    case TValueKind::CallTime: return static_cast<std::int64_t>(CallSecond(row, rows) % 86400 * 1000);
    case TValueKind::Line: return Format("L%02lld", r.Between(1, 16));
    case TValueKind::Extension: return Format("%lld", r.Between(100, 399));
    case TValueKind::Phone:
        switch (r.Between(0, 3)) {
        case 0: return Format("02%08lld", r.Between(40000000, 69999999));
        case 1: return Format("0%lld%07lld", r.Pick({31LL, 32LL, 33LL, 41LL, 43LL, 44LL, 48LL, 52LL, 55LL}),
                              r.Between(1000000, 9999999));
        case 2: return Format("09%02lld%06lld", r.Between(0, 49), r.Between(0, 999999));
        default: return Format("00%lld%09lld", r.Pick({420LL, 36LL, 48LL, 43LL, 49LL}), r.Between(0, 999999999));
        }
    case TValueKind::Mobile: return Format("09%02lld %06lld", r.Between(0, 49), r.Between(0, 999999));
    case TValueKind::Prefix: return Format("0%lld", r.Pick({2LL, 31LL, 32LL, 33LL, 34LL, 35LL, 36LL, 37LL, 38LL, 41LL,
                                                           42LL, 43LL, 44LL, 45LL, 46LL, 47LL, 48LL, 51LL, 52LL,
                                                           53LL, 54LL, 55LL, 56LL, 57LL, 58LL, 900LL, 940LL}));
    case TValueKind::KeyPrefix: return Format("0%03lld", 200 + n);
    case TValueKind::KeyIntlPrefix: return Format("00%03lld", 1 + n);
    case TValueKind::IntlPrefix: return Format("00%lld", r.Between(1, 998));
    case TValueKind::Seconds: return r.Chance(8) ? r.Between(0, 5) : r.Between(6, 1800);
    case TValueKind::Price: return static_cast<double>(r.Between(0, 4000)) / 100.0;
    case TValueKind::Rate: return static_cast<double>(r.Between(1, 250)) / 1000.0;
    case TValueKind::Amount: return static_cast<double>(r.Between(500, 2500000)) / 100.0;
    case TValueKind::Count: return r.Between(0, 25000);
    case TValueKind::Small: return r.Between(1, 12);
    case TValueKind::Percent: return static_cast<double>(r.Between(0, 40)) / 2.0;
    case TValueKind::Year: return static_cast<std::int64_t>(2016 + n / 12);
    case TValueKind::Month: return static_cast<std::int64_t>(1 + n % 12);
    case TValueKind::Weekday: return r.Between(1, 7);
    case TValueKind::Tariff: return std::string(r.Pick(tariffs));
    case TValueKind::Person: return Person(r);
    case TValueKind::Company: return std::string(r.Pick(companyStems)) + " " + r.Pick(cities) + " " + r.Pick(companyForms);
    case TValueKind::City: return std::string(r.Pick(cities));
    case TValueKind::TownKey: return std::string(townsInOrder[row % TownCount()]);
    case TValueKind::Country: return std::string(r.Pick(countries));
    case TValueKind::Street: return std::string(r.Pick(streets)) + " " + std::to_string(r.Between(1, 120));
    case TValueKind::Psc: return Format("%03lld %02lld", r.Between(800, 990), r.Between(1, 99));
    case TValueKind::Department: return std::string(r.Pick(departments));
    case TValueKind::Function: return std::string(r.Pick(functions));
    case TValueKind::Room: return Format("%lld.%02lld", r.Between(1, 5), r.Between(1, 40));
    case TValueKind::Operator: return std::string(r.Pick(operators));
    case TValueKind::Phrase: return std::string(r.Pick(phrases));
    case TValueKind::Note:
        if (!r.Chance(rows > 1000 ? 3 : 30)) return std::monostate{};
        return std::string(r.Pick(notes)) + (r.Chance(50) ? "; overené " + std::string(r.Pick(logins)) : "");
    case TValueKind::Definition: return Definition(r, static_cast<int>(r.Between(1, 3)));
    case TValueKind::LongDefinition: return Definition(r, static_cast<int>(r.Between(20, 60)));
    case TValueKind::Bool: return r.Chance(70);
    case TValueKind::Ico: return Format("%08lld", r.Between(30000000, 59999999));
    case TValueKind::Dic: return Format("20%08lld", r.Between(0, 99999999));
    case TValueKind::Login: return std::string(r.Pick(logins));
    case TValueKind::Email: return Format("info%lld@firma-%lld.sk", r.Between(1, 9), r.Between(100, 999));
    case TValueKind::PasswordHash: return Format("%016llx%016llx", static_cast<long long>(r.Next() >> 1),
                                                 static_cast<long long>(r.Next() >> 1));
    case TValueKind::AuthCode: return Format("%06lld", r.Between(0, 999999));
    case TValueKind::InvoiceNumber: return Format("FA2025%05lld", n + 1);
    case TValueKind::FirmRef: return r.Between(1, 60);
    case TValueKind::RawLine:
        return Format("%06lld %02lld", r.Between(0, 999999), r.Between(1, 16)) + " " +
               Format("%lld 09%08lld", r.Between(100, 399), r.Between(0, 99999999)) + " " +
               Format("00:%02lld:%02lld", r.Between(0, 59), r.Between(0, 59));
    case TValueKind::Path: return std::string("C:\\Program Files\\Účtovanie\\export") + std::to_string(n + 1) + ".exe";
    case TValueKind::FieldList: return "Datum;Cas;Pripojka;Volane_cislo;Trvanie;Cena";
    case TValueKind::LogMessage: return std::string(r.Pick(logMessages));
    case TValueKind::CallType: return std::string(callTypes[row % std::size(callTypes)]);
    case TValueKind::HolidayDate: {
        const THoliday& h = holidays[row % std::size(holidays)];
        return DayNumberFromCivil(2025 + n / static_cast<long long>(std::size(holidays)), h.Month, h.Day);
    }
    case TValueKind::HolidayName: return std::string(holidays[row % std::size(holidays)].Name);
    case TValueKind::VatFrom: return DayNumberFromCivil(vatPeriods[row % std::size(vatPeriods)].Year, 1, 1);
    case TValueKind::VatRate: return vatPeriods[row % std::size(vatPeriods)].Rate;
    }
    return std::monostate{};
}

} // namespace sample
