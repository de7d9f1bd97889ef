#include "app/TableDisplayNames.h"

namespace app {
namespace {

// One comma text, each entry quoted, exactly as the descriptions are to be shown.
constexpr const char* DisplayNamesText =
    "\"Hovory=Evidované hovory\","
    "\"Linky=Vstupné linky\","
    "\"PredrLin=Predradené čísla liniek\","
    "\"Tel_zoz=Prípojky PbÚ\","
    "\"PredrPBU=Predradené čísla PBÚ\","
    "\"Acpmer20=Pomocná tabuľka Acpmer20 pre PbÚ Meridian\","
    "\"Transfer=Pomocná tabuľka Transfer.db pre Meridián a Mega\","
    "\"Mzm_tab=Medzimestské smerové čísla\","
    "\"Mzs_tab=Medzinárodné smerové čísla\","
    "\"Brany=Brány alternatívnych operátorov\","
    "\"Operatori=Alternatívni operátori\","
    "\"Std_cenn=Štandardné tarify\","
    "\"Gratis=Netarifikované čísla\","
    "\"Vybrane=Vybrané čísla\","
    "\"NStd_Cen=Neštandardné tarify\","
    "\"InterZony=Medzinárodné zóny\","
    "\"UzivProg=Užívateľské programy\","
    "\"Smer_alt=Podmienené presmer.operátorov\","
    "\"Smer_det=Podmien.presmer.operátorov (detaily)\","
    "\"ObvodyPO=Obvody primárnej oblasti\","
    "\"PristCisOpe=Prístupové predčíslia operátora\","
    "\"Sluz_tel=Služobný telefónny zoznam\","
    "\"rocne_zu=Ročné rozúčtovanie\","
    "\"AutCode=Pracovníci\","
    "\"VnutTarify=Vnútroštátne tarify\","
    "\"Firmy=Odberatelia\","
    "\"PausalRozu=Rozúčtovacie poplatky\","
    "\"PrivatNet=Virtuálna privátna sieť\","
    "\"PristCisLin=Prístupové čísla liniek\","
    "\"PrieckLin=Priečkové linky\","
    "\"Neevid_prip=Neevidované prípojky\","
    "\"Users=Užívatelia\","
    "\"Faktury=Faktúry\","
    "\"StructStred=Štrukturované skupiny\","
    "\"ZlavyHovorov_det=Detaily zliav hovorov podľa trvania\","
    "\"Sviatky=Sviatky\","
    "\"Dph_tab=Obdobia platnosti DPH\","
    "\"Nar_smer=Národné smerové čísla\","
    "\"Alter_skup=Alternatívne skupiny\","
    "\"DynPasma=Dynamicke pásma\","
    "\"Export=Exporty - definície\","
    "\"Filtre=Filtre - definície\","
    "\"Sorty=Usporiadania - definície\","
    "\"Import_hovory=Importované údaje od operátora\","
    "\"Klasif_hov=Klasifikácia hovorov\","
    "\"MestaObce=Zoznam miest a obcí\","
    "\"Projekty=Projekty\","
    "\"Reports=Tlačové zostavy - definície\","
    "\"Srac_stat=Spracovanie - štatistika\","
    "\"Sprac_stat_log=Denník spracovania - štatistika\","
    "\"Staty=Zoznam krajín\","
    "\"StatyVZonach=Priradenie krajín do medzinár. zón\","
    "\"TarifyVZonach=Priradenie tarifov do vnútroštát. zón\","
    "\"Transfer=Pomoc.tabuľka TRANSFER\","
    "\"TransfHovory=Pomoc.tabuľka TransfHovory\","
    "\"TypHovor=Pomoc.tabuľka TypHovor\","
    "\"Vnutorne_hovory=Vnútorné hovory\","
    "\"VnutZony=Vnútroštátne zóny\","
    "\"ZlavyHovorov=Zľavy hovorov podľa trvania\","
    "\"ZlavyHovorov=Zľavy hovorov podľa trvania (detaily)\","
    "\"ZlavyStatov=Zľavy štátov\"";

} // namespace

void FillTableDisplayNames(rtl::TStringList& names) {
    names.SetCommaText(DisplayNamesText);
    for (std::size_t i = 0; i < names.Count(); ++i) {
        std::string& entry = names[i];
        const std::size_t eq = entry.find('=');
        // An entry without a name part is kept as it stands.
        if (eq == std::string::npos || eq == 0) continue;
        entry = rtl::LowerAscii(entry.substr(0, eq)) + entry.substr(eq);
    }
}

std::string DisplayNameOf(const rtl::TStringList& names, const std::string& tableName) {
    const std::string description = names.Value(tableName);
    return description.empty() ? tableName : description;
}

} // namespace app
