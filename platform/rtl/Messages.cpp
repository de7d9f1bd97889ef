#include "platform/rtl/Messages.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace rtl {

namespace {

constexpr TMessageEntry Entries[] = {
    {TMsg::ReasonNoEntry, "No such file or directory",
     "Súbor alebo adresár neexistuje"},
    {TMsg::ReasonAccess, "Permission denied",
     "Prístup zamietnutý"},
    {TMsg::ReasonReadOnlyFs, "Read-only file system",
     "Systém súborov je iba na čítanie"},
    {TMsg::ReasonNoSpace, "No space left on device",
     "Na zariadení nie je voľné miesto"},
    {TMsg::ReasonIo, "Input/output error",
     "Chyba vstupu/výstupu"},
    {TMsg::ReasonBusy, "Device or resource busy",
     "Zariadenie alebo prostriedok je obsadený"},
    {TMsg::ReasonExists, "File exists",
     "Súbor už existuje"},
    {TMsg::ReasonNotDirectory, "Not a directory",
     "Nie je adresár"},
    {TMsg::ReasonNameTooLong, "File name too long",
     "Názov súboru je príliš dlhý"},
    {TMsg::ReasonLoop, "Too many levels of symbolic links",
     "Príliš veľa úrovní symbolických odkazov"},
    {TMsg::ReasonPermission, "Operation not permitted",
     "Operácia nie je povolená"},
    {TMsg::ReasonNotRegularFile, "not a regular file",
     "nie je obyčajný súbor"},
    // Windows: a file another program holds open without sharing it.
    {TMsg::ReasonInUse, "The file is in use by another program (the billing application, for example); close it and try again",
     "Súbor používa iný program (napríklad program na účtovanie hovorov); zatvorte ho a skúste to znova"},
    {TMsg::LockBusy, "The %1 is in use by another run of this program%2; waited %3 s. Try again when it has finished (\"%4\").",
     "Iný beh tohto programu%2 práve používa %1; čakalo sa %3 s. Skúste to znova, keď skončí (\"%4\")."},
    {TMsg::LockCannotLock, "Cannot lock the %1 (\"%2\"): %3",
     "Nie je možné uzamknúť %1 (\"%2\"): %3"},
    {TMsg::LockLostOnUpgrade,
     "The %1 was taken by another run of this program while this one asked to hold it alone (\"%2\"); it is no longer held.",
     "Zámok na %1 (\"%2\") prevzal iný beh tohto programu, kým ho tento chcel držať sám; tento beh ho už nedrží."},
    {TMsg::LockHolder, "process %1",
     "proces %1"},
    {TMsg::LockHolderNamed, "process %1 (%2)",
     "proces %1 (%2)"},
    {TMsg::LockWaitStatus, "Waiting for another run of the program (%1)",
     "Čaká sa na iný beh programu (%1)"},
    {TMsg::LockObjectDatabaseDirectory, "database directory \"%1\"",
     "adresár databázy \"%1\""},
    {TMsg::LockObjectTable, "table \"%1\"",
     "tabuľku \"%1\""},
    {TMsg::LockObjectTableChange, "change of table \"%1\"",
     "žurnál zmeny tabuľky \"%1\""},
    {TMsg::LockObjectJournal, "journal",
     "žurnál"},
    {TMsg::LockObjectFile, "file",
     "súbor"},
    {TMsg::LockObjectProgramInstance, "program instance",
     "inštanciu programu"},
    {TMsg::DirectoryDoesNotExist, "does not exist",
     "neexistuje"},
    {TMsg::DirectoryUnreachable, "cannot be reached (%1)",
     "nie je dostupný (%1)"},
    {TMsg::DirectoryNotADirectory, "is not a directory",
     "nie je adresár"},
    {TMsg::DirectoryCannotList, "Cannot list the directory \"%1\": %2",
     "Obsah adresára \"%1\" nie je možné prečítať: %2"},
    {TMsg::DirectoryCannotFlush, "Cannot flush the directory \"%1\": %2",
     "Adresár \"%1\" nie je možné zapísať na disk: %2"},
    {TMsg::FileCannotOpen, "Cannot open file \"%1\": %2",
     "Súbor \"%1\" nie je možné otvoriť: %2"},
    {TMsg::FileCannotReadFile, "Cannot read file \"%1\": %2",
     "Súbor \"%1\" nie je možné čítať: %2"},
    {TMsg::FileNotReadable, "\"%1\" is not a readable file",
     "\"%1\" nie je súbor, ktorý je možné čítať"},
    {TMsg::FileCannotCreate, "Cannot create \"%1\": %2",
     "Súbor \"%1\" nie je možné vytvoriť: %2"},
    {TMsg::FileCannotOpenForWriting, "Cannot open for writing \"%1\": %2",
     "Súbor \"%1\" nie je možné otvoriť na zápis: %2"},
    {TMsg::FileCannotReadSize, "Cannot read the size of \"%1\": %2",
     "Veľkosť súboru \"%1\" nie je možné zistiť: %2"},
    {TMsg::FileCannotClose, "Cannot close \"%1\": %2",
     "Súbor \"%1\" nie je možné zatvoriť: %2"},
    {TMsg::FileCannotWrite, "Cannot write \"%1\": %2",
     "Do súboru \"%1\" nie je možné zapisovať: %2"},
    {TMsg::FileCannotRead, "Cannot read \"%1\": %2",
     "Súbor \"%1\" nie je možné čítať: %2"},
    {TMsg::FileCannotFlush, "Cannot flush \"%1\": %2",
     "Súbor \"%1\" nie je možné zapísať na disk: %2"},
    {TMsg::FileCannotFlushDirectoryOf, "Cannot flush the directory of \"%1\": %2",
     "Adresár súboru \"%1\" nie je možné zapísať na disk: %2"},
    {TMsg::FileCannotReplace, "Cannot replace \"%1\": %2",
     "Súbor \"%1\" nie je možné nahradiť: %2"},
    {TMsg::FileCannotDelete, "Cannot delete \"%1\": %2",
     "Súbor \"%1\" nie je možné vymazať: %2"},
    {TMsg::FileCannotRename, "Cannot rename \"%1\": %2",
     "Súbor \"%1\" nie je možné premenovať: %2"},
    {TMsg::JournalCannotWrite, "Cannot write the journal \"%1\": %2",
     "Žurnál \"%1\" nie je možné zapísať: %2"},
    {TMsg::JournalCannotRemove, "Cannot remove the journal \"%1\": %2",
     "Žurnál \"%1\" nie je možné odstrániť: %2"},
    {TMsg::SortFileCannotRead, "Cannot read the sort file \"%1\"",
     "Pomocný súbor triedenia \"%1\" nie je možné čítať"},
    {TMsg::EngineSessionActive, "A session named \"%1\" is already active.",
     "Relácia s názvom \"%1\" je už aktívna."},
    {TMsg::EngineSessionInactive, "The session \"%1\" is not active.",
     "Relácia \"%1\" nie je aktívna."},
    {TMsg::EnginePrivateDirMissing, "The private directory \"%1\" does not exist.",
     "Súkromný adresár \"%1\" neexistuje."},
    {TMsg::EngineUnknownAlias, "Unknown database alias \"%1\".",
     "Neznámy alias databázy \"%1\"."},
    {TMsg::EngineAliasWithoutPath, "The database alias \"%1\" has no PATH parameter.",
     "Alias databázy \"%1\" nemá parameter PATH."},
    {TMsg::EngineDatabaseWithoutPath, "The database \"%1\" has no PATH parameter.",
     "Databáza \"%1\" nemá parameter PATH."},
    {TMsg::EngineDatabaseDirectory, "The database directory \"%1\" %2.",
     "Adresár databázy \"%1\" %2."},
    {TMsg::EngineDatabaseAlreadyOpen, "A database named \"%1\" is already open.",
     "Databáza s názvom \"%1\" je už otvorená."},
    {TMsg::EngineDatabaseNotConnected, "The database \"%1\" is not connected.",
     "Databáza \"%1\" nie je pripojená."},
    {TMsg::EngineDatabaseNotOpen, "The database \"%1\" is not open.",
     "Databáza \"%1\" nie je otvorená."},
    {TMsg::EngineConfigCannotRead, "Cannot read the engine configuration \"%1\".",
     "Konfiguráciu databázového stroja \"%1\" nie je možné prečítať."},
    {TMsg::EngineConfigCannotWrite, "Cannot write the engine configuration \"%1\".",
     "Konfiguráciu databázového stroja \"%1\" nie je možné zapísať."},
    {TMsg::EngineConfigCannotCreateDirectory, "Cannot create the directory \"%1\".",
     "Adresár \"%1\" nie je možné vytvoriť."},
    {TMsg::TableDoesNotExist, "Table \"%1\" does not exist",
     "Tabuľka \"%1\" neexistuje"},
    {TMsg::TableDoesNotExistDot, "The table \"%1\" does not exist.",
     "Tabuľka \"%1\" neexistuje."},
    {TMsg::TableDoesNotExistIn, "Table \"%1\" does not exist in \"%2\"",
     "Tabuľka \"%1\" v adresári \"%2\" neexistuje"},
    {TMsg::TableAlreadyExists, "Table \"%1\" already exists",
     "Tabuľka \"%1\" už existuje"},
    {TMsg::TableNamedExists, "A table named \"%1\" already exists.",
     "Tabuľka s názvom \"%1\" už existuje."},
    {TMsg::TablePasswordProtected, "Table \"%1\" is password-protected",
     "Tabuľka \"%1\" je chránená heslom"},
    {TMsg::TableKeyViolation, "Key violation in table \"%1\"",
     "Chyba \"Key violation\" v tabuľke \"%1\""},
    {TMsg::TableCannotBeOpened, "Table \"%1\" cannot be opened: %2",
     "Tabuľku \"%1\" nie je možné otvoriť: %2"},
    {TMsg::TableIsIndexFile, "\"%1\" is an index file, not a table",
     "\"%1\" je indexový súbor, nie tabuľka"},
    {TMsg::TableDamaged, "Table \"%1\" is damaged (%2); it must be rebuilt before it can be changed",
     "Tabuľka \"%1\" je poškodená (%2); pred zmenou ju treba opraviť (rekonštruovať)"},
    {TMsg::TableNotReadWhole, "Table \"%1\" cannot be read whole (%2)",
     "Tabuľku \"%1\" nie je možné prečítať celú (%2)"},
    {TMsg::TableOpenCannotDelete, "The table \"%1\" is open and cannot be deleted.",
     "Tabuľka \"%1\" je otvorená, nie je možné ju vymazať."},
    {TMsg::TableOpenCannotRename, "The table \"%1\" is open and cannot be renamed.",
     "Tabuľka \"%1\" je otvorená, nie je možné ju premenovať."},
    {TMsg::TableOpenCannotCreate, "The table \"%1\" is open and cannot be created.",
     "Tabuľka \"%1\" je otvorená, nie je možné ju vytvoriť."},
    {TMsg::TableNotOpen, "The table \"%1\" is not open.",
     "Tabuľka \"%1\" nie je otvorená."},
    {TMsg::TableRowGone, "The row to delete is no longer in table \"%1\"",
     "Riadok na vymazanie už v tabuľke \"%1\" nie je"},
    {TMsg::FieldNotFound, "Field \"%1\" not found.",
     "Pole \"%1\" sa nenašlo."},
    {TMsg::FieldNotFoundInTable, "Field \"%1\" not found in table \"%2\".",
     "Pole \"%1\" sa v tabuľke \"%2\" nenašlo."},
    {TMsg::HeaderTooShort, "the file is too short to be a Paradox table",
     "súbor je príliš krátky na tabuľku Paradox"},
    {TMsg::HeaderUnknownType, "unknown file type %1",
     "neznámy typ súboru %1"},
    {TMsg::HeaderUnknownVersion, "unknown file version %1",
     "neznáma verzia súboru %1"},
    {TMsg::HeaderBadBlockSize, "impossible block size %1 KiB",
     "nemožná veľkosť bloku %1 KiB"},
    {TMsg::HeaderBadFieldCount, "impossible field count %1",
     "nemožný počet polí %1"},
    {TMsg::HeaderBadHeaderSize, "impossible header size %1",
     "nemožná veľkosť hlavičky %1"},
    {TMsg::HeaderCutOff, "the header is cut off",
     "hlavička je neúplná"},
    {TMsg::HeaderFieldListCutOff, "the field list is cut off",
     "zoznam polí je neúplný"},
    {TMsg::HeaderRecordTooLarge, "record size %1 does not fit a block of %2 bytes",
     "veľkosť záznamu %1 sa nezmestí do bloku s veľkosťou %2 bajtov"},
    {TMsg::ZipOpenFailed, "Can't open file",
     "Súbor nie je možné otvoriť"},
    {TMsg::ZipReadError, "Read error",
     "Chyba čítania"},
    {TMsg::ZipWriteError, "Write error",
     "Chyba zápisu"},
    {TMsg::ZipSeekError, "Seek error",
     "Chyba posunu v súbore"},
    {TMsg::ZipCrcError, "CRC error",
     "Chyba kontrolného súčtu (CRC)"},
    {TMsg::ZipCloseFailed, "Closing zip archive failed",
     "Archív zip sa nepodarilo zatvoriť"},
    {TMsg::ZipTempFileFailed, "Failure to create temporary file",
     "Dočasný súbor sa nepodarilo vytvoriť"},
    {TMsg::ZipRenameFailed, "Renaming temporary file failed",
     "Dočasný súbor sa nepodarilo premenovať"},
    {TMsg::ZipNotAZip, "Not a zip archive",
     "Súbor nie je archív zip"},
    {TMsg::ZipInconsistent, "Zip archive inconsistent",
     "Archív zip je nekonzistentný"},
    {TMsg::ZipNoSuchFile, "No such file",
     "Súbor neexistuje"},
    {TMsg::ZipFileExists, "File already exists",
     "Súbor už existuje"},
    {TMsg::ZipCompressionUnsupported, "Compression method not supported",
     "Metóda kompresie nie je podporovaná"},
    {TMsg::ZipEncryptionUnsupported, "Encryption method not supported",
     "Metóda šifrovania nie je podporovaná"},
    {TMsg::ZipPrematureEnd, "Premature end of file",
     "Predčasný koniec súboru"},
    {TMsg::ZipCompressedDataInvalid, "Compressed data invalid",
     "Komprimované údaje sú poškodené"},
    {TMsg::ZipCannotRemove, "Can't remove file",
     "Súbor nie je možné odstrániť"},
    {TMsg::ZipOutOfMemory, "Malloc failure",
     "Nedostatok pamäte"},
    {TMsg::ZipCancelled, "Operation cancelled",
     "Operácia bola zrušená"},
    {TMsg::ZipZlib, "Zlib error",
     "Chyba knižnice zlib"},
    {TMsg::ZipAborted, "aborted",
     "prerušené"},
    {TMsg::ZipChangedWhilePacking, "file changed while packing",
     "súbor sa počas balenia zmenil"},
    {TMsg::DetailCannotCopy, "cannot copy \"%1\": %2",
     "nie je možné kopírovať \"%1\": %2"},
    {TMsg::DetailCannotRead, "cannot read \"%1\": %2",
     "nie je možné čítať \"%1\": %2"},
    {TMsg::DetailCannotWrite, "cannot write \"%1\": %2",
     "nie je možné zapisovať do \"%1\": %2"},
    {TMsg::DetailCannotCreate, "cannot create \"%1\": %2",
     "nie je možné vytvoriť \"%1\": %2"},
    {TMsg::DetailCannotFlush, "cannot flush \"%1\": %2",
     "nie je možné zapísať na disk \"%1\": %2"},
    {TMsg::DetailCannotClose, "cannot close \"%1\": %2",
     "nie je možné zatvoriť \"%1\": %2"},
    {TMsg::DetailCannotName, "cannot name \"%1\": %2",
     "nie je možné pomenovať \"%1\": %2"},
    {TMsg::DetailCannotOpen, "cannot open \"%1\": %2",
     "nie je možné otvoriť \"%1\": %2"},
    {TMsg::DetailCannotExamine, "cannot examine \"%1\": %2",
     "nie je možné zistiť vlastnosti \"%1\": %2"},
    {TMsg::DetailCannotLink, "cannot link \"%1\": %2",
     "nie je možné vytvoriť odkaz \"%1\": %2"},
    {TMsg::DetailCannotUse, "cannot use \"%1\": %2",
     "nie je možné použiť \"%1\": %2"},
    {TMsg::DetailNoFreeName, "no free name beside \"%1\": %2",
     "vedľa \"%1\" nie je voľný názov: %2"},
    {TMsg::TableUnmodelledOrder, "Table \"%1\" orders its key text by the sort order %2, which this engine does not model; %3 would have to choose a place for a key, and is refused",
     "Tabuľka \"%1\" triedi text svojho kľúča podľa triedenia %2, ktoré tento program nepozná; %3 by si vyžadovalo určiť miesto pre kľúč, a preto sa nevykoná"},
    {TMsg::TableUnmodelledOrderRows, "ordering its rows by that key",
     "zoradenie jej riadkov podľa tohto kľúča"},
    {TMsg::TableUnmodelledOrderAdd, "adding a row",
     "pridanie riadku"},
    {TMsg::TableUnmodelledOrderAppend, "appending rows to it",
     "pridanie riadkov do nej"},
    {TMsg::TableUnmodelledOrderNewRow, "Table \"%1\" orders its key text by the sort order %2, which this engine does not model; a new row cannot be placed in it",
     "Tabuľka \"%1\" triedi text svojho kľúča podľa triedenia %2, ktoré tento program nepozná; nový riadok do nej nie je možné zaradiť"},
    {TMsg::TableIndexOutOfStep, "Table \"%1\" cannot be changed: its secondary index %2 could not be kept in step with it (%3), and dropping it was not asked for",
     "Tabuľku \"%1\" nie je možné zmeniť: jej sekundárny index %2 by s ňou nebol v súlade (%3) a jeho vymazanie nebolo požadované"},
    {TMsg::TableLetterCaseTwin, "Table \"%1\" cannot be changed: \"%2\" in the same directory differs from it only in letter case, and the two tables' files cannot be told apart; rename one of them first",
     "Tabuľku \"%1\" nie je možné zmeniť: \"%2\" v tom istom adresári sa od nej líši len veľkosťou písmen a súbory týchto dvoch tabuliek nie je možné rozlíšiť; najprv jednu z nich premenujte"},
    {TMsg::TableFamilyExists, "Table \"%1\" already exists (%2 is there)",
     "Tabuľka \"%1\" už existuje (je tam %2)"},
    {TMsg::RebuildKeyTakesNoRoom, "the key fields of %1 take no room in the record",
     "kľúčové polia tabuľky %1 nezaberajú v zázname žiadne miesto"},
    {TMsg::RebuildBackupRemoved, "; %1 was removed: it could not be given data of its own (%2)",
     "; súbor %1 bol odstránený: nebolo možné dať mu vlastné údaje (%2)"},
    {TMsg::RebuildBackupShared, "; %1 still shares its data with the table (%2)",
     "; súbor %1 stále zdieľa údaje s tabuľkou (%2)"},
    {TMsg::ProblemBlock, "block %1",
     "blok %1"},
    {TMsg::ProblemBlockOffset, " (offset 0x%1)",
     " (posun 0x%1)"},
    {TMsg::ProblemOffset, "offset 0x%1: ",
     "posun 0x%1: "},
    {TMsg::ChainImpossibleLastOffset, "impossible last-record offset %1; no records read",
     "nemožný posun posledného záznamu %1; nebol prečítaný žiadny záznam"},
    {TMsg::ChainOffsetNotMultiple, "last-record offset %1 is not a multiple of the record size %2",
     "posun posledného záznamu %1 nie je násobkom veľkosti záznamu %2"},
    {TMsg::ChainOffsetBeyondBlock, "last-record offset %1 lies beyond the block (%2 records fit); %2 records read",
     "posun posledného záznamu %1 leží za koncom bloku (zmestí sa doň záznamov: %2); prečítané záznamy: %2"},
    {TMsg::ChainNoFirstBlock, "the header names no first block although %1 blocks are in use",
     "hlavička neuvádza prvý blok, hoci používaných blokov je %1"},
    {TMsg::ChainLinkOutside, "link to block %1 which lies outside the file (%2 blocks)",
     "odkaz na blok %1, ktorý leží mimo súboru (blokov: %2)"},
    {TMsg::ChainLoops, "the chain loops back to block %1",
     "reťazec blokov sa vracia späť na blok %1"},
    {TMsg::ChainBlockUnreadable, "block %1 cannot be read",
     "blok %1 nie je možné prečítať"},
    {TMsg::ChainBlockBeyondAllocated, "block number exceeds the header's %1 allocated blocks",
     "číslo bloku presahuje počet pridelených blokov v hlavičke (%1)"},
    {TMsg::ChainBackLink, "back link names block %1 instead of %2",
     "spätný odkaz ukazuje na blok %1 namiesto %2"},
    {TMsg::ChainRecordsBeyondEnd, "%1 records lie beyond the end of the file",
     "záznamy za koncom súboru: %1"},
    {TMsg::ChainLengthMismatch, "the chain has %1 blocks, the header says %2",
     "reťazec má blokov: %1, hlavička uvádza %2"},
    {TMsg::ChainEndMismatch, "the chain ends at block %1, the header says %2",
     "reťazec končí blokom %1, hlavička uvádza %2"},
    {TMsg::ChainRecordCountMismatch, "%1 records found, the header says %2",
     "nájdené záznamy: %1, hlavička uvádza %2"},
    {TMsg::LayoutFieldImpossible, "field %1 has an impossible type/size (%2/%3)",
     "pole %1 má nemožný typ/veľkosť (%2/%3)"},
    {TMsg::LayoutRecordSize, "record size %1 differs from the fields' total %2",
     "veľkosť záznamu %1 sa líši od súčtu veľkostí polí %2"},
    {TMsg::LayoutNamesCutOff, "the field names are cut off",
     "názvy polí sú neúplné"},
    {TMsg::LayoutKeyFieldCount, "key field count %1 exceeds the field count",
     "počet kľúčových polí %1 presahuje počet polí"},
    {TMsg::LayoutUnkeyedWithKeys, "an unkeyed table declares key fields",
     "tabuľka bez kľúča uvádza kľúčové polia"},
    {TMsg::OpenPasswordProtected, "the table is password-protected; its rows cannot be read",
     "tabuľka je chránená heslom; jej riadky nie je možné prečítať"},
    {TMsg::OpenMemoFileMissing, "the memo file (.mb) is missing",
     "súbor poznámok (.mb) chýba"},
    {TMsg::MemoMissing, "the memo file is missing",
     "súbor poznámok chýba"},
    {TMsg::MemoCannotOpen, "the memo file cannot be opened: %1",
     "súbor poznámok nie je možné otvoriť: %1"},
    {TMsg::MemoEncrypted, "the memo file is encrypted",
     "súbor poznámok je zašifrovaný"},
    {TMsg::MemoHeaderDamaged, "the memo file's header block is damaged",
     "úvodný blok súboru poznámok je poškodený"},
    {TMsg::MemoSizeNotMultiple, "the memo file's size is not a multiple of 4096 bytes",
     "veľkosť súboru poznámok nie je násobkom 4096 bajtov"},
    {TMsg::BlobLengthDiffers, "blob length %1 differs from the record's %2",
     "dĺžka poznámky %1 sa líši od dĺžky %2 uvedenej v zázname"},
    {TMsg::BlobModDiffers, "blob modification number differs from the record's",
     "číslo zmeny poznámky sa líši od čísla uvedeného v zázname"},
    {TMsg::BlobOffsetOutside, "blob offset %1 lies outside the memo file",
     "posun poznámky %1 leží mimo súboru poznámok"},
    {TMsg::BlobNotSingleBlock, "blob block at %1 is not a single-blob block",
     "blok poznámky na posune %1 nie je blok jednej poznámky"},
    {TMsg::BlobRunsPastFile, "blob of %1 bytes runs past its block or the memo file",
     "poznámka s dĺžkou %1 bajtov presahuje svoj blok alebo súbor poznámok"},
    {TMsg::BlobNotSuballocated, "blob block at %1 is not a suballocated block",
     "blok poznámky na posune %1 nie je zdieľaný blok"},
    {TMsg::BlobSlotMissing, "blob slot %1 does not exist",
     "miesto poznámky %1 neexistuje"},
    {TMsg::BlobSlotDamaged, "blob slot %1 is empty or damaged",
     "miesto poznámky %1 je prázdne alebo poškodené"},
    {TMsg::BlobRunsPastBlock, "blob runs past its block",
     "poznámka presahuje svoj blok"},
    {TMsg::BlobFieldTooSmall, "the field is too small to hold a blob descriptor",
     "pole je príliš malé na popis poznámky"},
    {TMsg::CheckGraphicPrefixMissing, "the value lacks its graphic/OLE prefix",
     "hodnote chýba úvod obrázka/OLE"},
    {TMsg::CheckGraphicPrefixLength, "the graphic/OLE prefix gives a wrong length",
     "úvod obrázka/OLE uvádza nesprávnu dĺžku"},
    {TMsg::CheckKeyOrderNotChecked, "the sort order %1 orders text in a way this engine does not model, so the order of the keys was not checked (duplicates were)",
     "triedenie %1 zoraďuje text spôsobom, ktorý tento program nepozná, preto poradie kľúčov nebolo skontrolované (duplicity áno)"},
    {TMsg::CheckDuplicateKey, "duplicate key",
     "duplicitný kľúč"},
    {TMsg::CheckKeyOutOfOrder, "key out of order (lower than the record before)",
     "kľúč mimo poradia (nižší ako v predchádzajúcom zázname)"},
    {TMsg::CheckBlobField, "field \"%1\": %2",
     "pole \"%1\": %2"},
    {TMsg::CheckDuplicateStored, "duplicate key (stored more than once)",
     "duplicitný kľúč (uložený viackrát)"},
    {TMsg::CheckFurtherKeyFaults, "%1 further key-order faults",
     "ďalšie chyby poradia kľúčov: %1"},
    {TMsg::CheckFurtherBlobs, "%1 further unreadable blobs",
     "ďalšie nečitateľné poznámky: %1"},
    {TMsg::CheckAutoIncrementBelow, "the autoincrement counter %1 lies below the stored value %2",
     "počítadlo autoinkrementu %1 je nižšie ako uložená hodnota %2"},
    {TMsg::CheckPrimaryIndexMissing, "the primary index (.px) is missing",
     "primárny index (.px) chýba"},
    {TMsg::IndexBlockOutside, "index block %1 lies outside the index file",
     "indexový blok %1 leží mimo indexového súboru"},
    {TMsg::IndexTreeReturns, "the index tree returns to block %1",
     "strom indexu sa vracia k bloku %1"},
    {TMsg::IndexEntryFirstKey, "entry %1 does not carry the first key of block %2",
     "položka %1 nenesie prvý kľúč bloku %2"},
    {TMsg::IndexEntryCount, "entry %1 counts %2 records, its block holds %3",
     "položka %1 uvádza počet záznamov %2, jej blok ich obsahuje %3"},
    {TMsg::IndexCannotRead, "the primary index cannot be read: %1",
     "primárny index nie je možné prečítať: %1"},
    {TMsg::IndexNotTree, "the file is not an index tree (file type %1)",
     "súbor nie je strom indexu (typ súboru %1)"},
    {TMsg::IndexKeyFieldsDiffer, "the index's key fields do not match the table's primary key",
     "kľúčové polia indexu nezodpovedajú primárnemu kľúču tabuľky"},
    {TMsg::IndexEntriesForEmptyTable, "the table is empty but the index holds %1 entries",
     "tabuľka je prázdna, ale index obsahuje položky: %1"},
    {TMsg::IndexImpossibleLevels, "impossible number of index levels %1",
     "nemožný počet úrovní indexu %1"},
    {TMsg::IndexEntriesMismatch, "the index holds %1 entries, its header says %2",
     "index obsahuje položky: %1, jeho hlavička uvádza %2"},
    {TMsg::IndexLeafBlockCount, "the index lists %1 data blocks, the chain has %2",
     "index uvádza dátové bloky: %1, reťazec ich má %2"},
    {TMsg::IndexLeafNamesBlock, "leaf entry %1 names data block %2, the chain has block %3",
     "listová položka %1 uvádza dátový blok %2, reťazec má blok %3"},
    {TMsg::IndexLeafCount, "leaf entry %1 counts %2 records, data block %3 holds %4",
     "listová položka %1 uvádza počet záznamov %2, dátový blok %3 ich obsahuje %4"},
    {TMsg::IndexLeafFirstKey, "leaf entry %1 does not carry the first key of data block %2",
     "listová položka %1 nenesie prvý kľúč dátového bloku %2"},
    {TMsg::IndexFurtherMismatches, "%1 further index mismatches not listed",
     "ďalšie nevypísané nezhody indexu: %1"},
    {TMsg::SecondaryCannotRead, "the secondary index cannot be read: %1",
     "sekundárny index nie je možné prečítať: %1"},
    {TMsg::SecondaryNotIndex, "the file is not a secondary index (file type %1)",
     "súbor nie je sekundárny index (typ súboru %1)"},
    {TMsg::SecondaryOutOfDate, "the index holds %1 entries for %2 records (out of date)",
     "počet položiek indexu %1 nezodpovedá počtu záznamov %2 (index je zastaraný)"},
    {TMsg::SecondaryTreeMissing, "the index's tree file (.Y%1) is missing",
     "stromový súbor indexu (.Y%1) chýba"},
    {TMsg::FreeListOutside, "free list links to block %1 outside the file",
     "zoznam voľných blokov odkazuje na blok %1 mimo súboru"},
    {TMsg::FreeListLoops, "the free list loops",
     "zoznam voľných blokov sa zacyklí"},
    {TMsg::FreeListInChain, "block is both in the chain and on the free list",
     "blok je v reťazci aj v zozname voľných blokov"},
    {TMsg::FreeBlockNotEmpty, "free block is not marked empty",
     "voľný blok nie je označený ako prázdny"},
    {TMsg::FreeListSum, "chain (%1) and free list (%2) do not add up to the %3 allocated blocks",
     "reťazec (%1) a zoznam voľných blokov (%2) nedávajú spolu %3 pridelených blokov"},
    {TMsg::OrphanBlockRecords, "block lies outside the chain and holds %1 records",
     "blok leží mimo reťazca a obsahuje záznamy: %1"},
    {TMsg::FieldListZeroRecordSize, "the header gives its records a size of 0 bytes",
     "hlavička udáva veľkosť záznamu 0 bajtov"},
    {TMsg::FieldListUnknownType, "field %1 has the type code %2, which no Paradox version defines",
     "pole %1 má kód typu %2, ktorý nedefinuje žiadna verzia formátu Paradox"},
    {TMsg::FieldListImpossibleSize, "field %1 (\"%2\") is of type %3 with the size %4, which no Paradox version allows",
     "pole %1 (\"%2\") je typu %3 s veľkosťou %4, ktorú nepovoľuje žiadna verzia formátu Paradox"},
    {TMsg::FieldListNoRoom, "the fields take no room in the record",
     "polia nezaberajú v zázname žiadne miesto"},
    {TMsg::HeaderModifiedFlags, "the header's modified flags are set (the table was not closed properly)",
     "v hlavičke sú nastavené príznaky zmeny (tabuľka nebola správne zatvorená)"},
    {TMsg::HeaderFieldNumbersOutside, "the field-number array lies outside the header",
     "pole čísel polí leží mimo hlavičky"},
    {TMsg::HeaderContentPastSize, "the header's content (%1 bytes) runs past its size %2",
     "obsah hlavičky (%1 bajtov) presahuje jej veľkosť %2"},
    {TMsg::HeaderBlocksInUse, "blocks in use (%1) exceed blocks allocated (%2)",
     "používané bloky (%1) presahujú pridelené bloky (%2)"},
};
static_assert(sizeof(Entries) / sizeof(Entries[0]) == MessageCount, "one catalogue entry per message id");

TLanguage& CurrentLanguage() {
    static TLanguage language = TLanguage::English;
    return language;
}

// The catalogue's own id for the reasons it words itself.
bool ReasonId(int errnum, TMsg& id) {
    switch (errnum) {
    case ENOENT: id = TMsg::ReasonNoEntry; return true;
    case EACCES: id = TMsg::ReasonAccess; return true;
    case EROFS: id = TMsg::ReasonReadOnlyFs; return true;
    case ENOSPC: id = TMsg::ReasonNoSpace; return true;
    case EIO: id = TMsg::ReasonIo; return true;
#ifdef _WIN32
    // Windows says "busy" of a file another program holds open without sharing it (or has
    // locked a part of), which is what a user there must be told.
    case EBUSY: id = TMsg::ReasonInUse; return true;
#else
    case EBUSY: id = TMsg::ReasonBusy; return true;
#endif
    case EEXIST: id = TMsg::ReasonExists; return true;
    case ENOTDIR: id = TMsg::ReasonNotDirectory; return true;
    case ENAMETOOLONG: id = TMsg::ReasonNameTooLong; return true;
    case ELOOP: id = TMsg::ReasonLoop; return true;
    case EPERM: id = TMsg::ReasonPermission; return true;
    default: return false;
    }
}

} // namespace

TLanguage Language() { return CurrentLanguage(); }

void SetLanguage(TLanguage language) { CurrentLanguage() = language; }

TLanguage LanguageFromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        const std::string_view v(value);
        const bool slovak = v.substr(0, 2) == "sk" && (v.size() == 2 || v[2] == '_' || v[2] == '.' || v[2] == '@');
        return slovak ? TLanguage::Slovak : TLanguage::English;
    }
    return TLanguage::English;
}

const TMessageEntry* MessageEntries() { return Entries; }

std::string Text(TMsg id) { return Text(id, Language()); }

std::string Text(TMsg id, TLanguage language) {
    const auto index = static_cast<std::size_t>(id);
    if (index >= MessageCount) return std::string();
    return language == TLanguage::Slovak ? Entries[index].Slovak : Entries[index].English;
}

std::string FormatText(const std::string& text, const std::vector<std::string>& args) {
    std::string r;
    r.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next >= '1' && next <= '9') {
                const auto n = static_cast<std::size_t>(next - '1');
                if (n < args.size()) r += args[n];
                ++i;
                continue;
            }
            if (next == '%') {
                r += '%';
                ++i;
                continue;
            }
        }
        r += text[i];
    }
    return r;
}

std::string Format(TMsg id, const std::vector<std::string>& args) { return FormatText(Text(id), args); }

std::string Format(TMsg id, const std::vector<std::string>& args, TLanguage language) {
    return FormatText(Text(id, language), args);
}

// The common reasons from the catalogue in either language: the English ones are the C
// library's texts on Linux, and Windows' runtime words several of them otherwise.
std::string SystemReason(int errnum) {
    TMsg id{};
    if (ReasonId(errnum, id)) return Text(id);
    return std::strerror(errnum);
}

} // namespace rtl
