// The catalogue of the texts our own code raises or shows outside the window's fixed
// captions: each message has an id, an English and a Slovak text. The process picks one
// language at start (the window Slovak, the command line by its locale, pdx English) and
// every text is formatted in it when the error is raised, so an error carries the text its
// reader will see.
//
// Arguments are written %1 to %9 (in any order, as the language needs them); %% is a
// percent sign.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace rtl {

enum class TLanguage { English, Slovak };

// The process language; English until a program sets it.
TLanguage Language();
void SetLanguage(TLanguage language);

// The language the locale variables ask for, by their precedence: the first of LC_ALL,
// LC_MESSAGES and LANG that is set and not empty decides; "sk" and "sk_*" are Slovak.
TLanguage LanguageFromEnvironment();

enum class TMsg {
    ReasonNoEntry,
    ReasonAccess,
    ReasonReadOnlyFs,
    ReasonNoSpace,
    ReasonIo,
    ReasonBusy,
    ReasonExists,
    ReasonNotDirectory,
    ReasonNameTooLong,
    ReasonLoop,
    ReasonPermission,
    ReasonNotRegularFile,
    LockBusy,
    LockCannotLock,
    LockLostOnUpgrade,
    LockHolder,
    LockHolderNamed,
    LockWaitStatus,
    LockObjectDatabaseDirectory,
    LockObjectTable,
    LockObjectTableChange,
    LockObjectJournal,
    LockObjectFile,
    LockObjectProgramInstance,
    DirectoryDoesNotExist,
    DirectoryUnreachable,
    DirectoryNotADirectory,
    DirectoryCannotList,
    DirectoryCannotFlush,
    FileCannotOpen,
    FileCannotReadFile,
    FileNotReadable,
    FileCannotCreate,
    FileCannotOpenForWriting,
    FileCannotReadSize,
    FileCannotClose,
    FileCannotWrite,
    FileCannotRead,
    FileCannotFlush,
    FileCannotFlushDirectoryOf,
    FileCannotReplace,
    FileCannotDelete,
    FileCannotRename,
    JournalCannotWrite,
    JournalCannotRemove,
    SortFileCannotRead,
    EngineSessionActive,
    EngineSessionInactive,
    EnginePrivateDirMissing,
    EngineUnknownAlias,
    EngineAliasWithoutPath,
    EngineDatabaseWithoutPath,
    EngineDatabaseDirectory,
    EngineDatabaseAlreadyOpen,
    EngineDatabaseNotConnected,
    EngineDatabaseNotOpen,
    EngineConfigCannotRead,
    EngineConfigCannotWrite,
    EngineConfigCannotCreateDirectory,
    TableDoesNotExist,
    TableDoesNotExistDot,
    TableDoesNotExistIn,
    TableAlreadyExists,
    TableNamedExists,
    TablePasswordProtected,
    TableKeyViolation,
    TableCannotBeOpened,
    TableIsIndexFile,
    TableDamaged,
    TableNotReadWhole,
    TableOpenCannotDelete,
    TableOpenCannotRename,
    TableOpenCannotCreate,
    TableNotOpen,
    TableRowGone,
    FieldNotFound,
    FieldNotFoundInTable,
    HeaderTooShort,
    HeaderUnknownType,
    HeaderUnknownVersion,
    HeaderBadBlockSize,
    HeaderBadFieldCount,
    HeaderBadHeaderSize,
    HeaderCutOff,
    HeaderFieldListCutOff,
    HeaderRecordTooLarge,
    ZipOpenFailed,
    ZipReadError,
    ZipWriteError,
    ZipSeekError,
    ZipCrcError,
    ZipCloseFailed,
    ZipTempFileFailed,
    ZipRenameFailed,
    ZipNotAZip,
    ZipInconsistent,
    ZipNoSuchFile,
    ZipFileExists,
    ZipCompressionUnsupported,
    ZipEncryptionUnsupported,
    ZipPrematureEnd,
    ZipCompressedDataInvalid,
    ZipCannotRemove,
    ZipOutOfMemory,
    ZipCancelled,
    ZipZlib,
    ZipAborted,
    ZipChangedWhilePacking,

    DetailCannotCopy,
    DetailCannotRead,
    DetailCannotWrite,
    DetailCannotCreate,
    DetailCannotFlush,
    DetailCannotClose,
    DetailCannotName,
    DetailCannotOpen,
    DetailCannotExamine,
    DetailCannotLink,
    DetailCannotUse,
    DetailNoFreeName,
    TableUnmodelledOrder,
    TableUnmodelledOrderRows,
    TableUnmodelledOrderAdd,
    TableUnmodelledOrderAppend,
    TableUnmodelledOrderNewRow,
    TableIndexOutOfStep,
    TableLetterCaseTwin,
    TableFamilyExists,
    RebuildKeyTakesNoRoom,
    RebuildBackupRemoved,
    RebuildBackupShared,
    ProblemBlock,
    ProblemBlockOffset,
    ProblemOffset,
    ChainImpossibleLastOffset,
    ChainOffsetNotMultiple,
    ChainOffsetBeyondBlock,
    ChainNoFirstBlock,
    ChainLinkOutside,
    ChainLoops,
    ChainBlockUnreadable,
    ChainBlockBeyondAllocated,
    ChainBackLink,
    ChainRecordsBeyondEnd,
    ChainLengthMismatch,
    ChainEndMismatch,
    ChainRecordCountMismatch,
    LayoutFieldImpossible,
    LayoutRecordSize,
    LayoutNamesCutOff,
    LayoutKeyFieldCount,
    LayoutUnkeyedWithKeys,
    OpenPasswordProtected,
    OpenMemoFileMissing,
    MemoMissing,
    MemoCannotOpen,
    MemoEncrypted,
    MemoHeaderDamaged,
    MemoSizeNotMultiple,
    BlobLengthDiffers,
    BlobModDiffers,
    BlobOffsetOutside,
    BlobNotSingleBlock,
    BlobRunsPastFile,
    BlobNotSuballocated,
    BlobSlotMissing,
    BlobSlotDamaged,
    BlobRunsPastBlock,
    BlobFieldTooSmall,
    CheckGraphicPrefixMissing,
    CheckGraphicPrefixLength,
    CheckKeyOrderNotChecked,
    CheckDuplicateKey,
    CheckKeyOutOfOrder,
    CheckBlobField,
    CheckDuplicateStored,
    CheckFurtherKeyFaults,
    CheckFurtherBlobs,
    CheckAutoIncrementBelow,
    CheckPrimaryIndexMissing,
    IndexBlockOutside,
    IndexTreeReturns,
    IndexEntryFirstKey,
    IndexEntryCount,
    IndexCannotRead,
    IndexNotTree,
    IndexKeyFieldsDiffer,
    IndexEntriesForEmptyTable,
    IndexImpossibleLevels,
    IndexEntriesMismatch,
    IndexLeafBlockCount,
    IndexLeafNamesBlock,
    IndexLeafCount,
    IndexLeafFirstKey,
    IndexFurtherMismatches,
    SecondaryCannotRead,
    SecondaryNotIndex,
    SecondaryOutOfDate,
    SecondaryTreeMissing,
    FreeListOutside,
    FreeListLoops,
    FreeListInChain,
    FreeBlockNotEmpty,
    FreeListSum,
    OrphanBlockRecords,
    FieldListZeroRecordSize,
    FieldListUnknownType,
    FieldListImpossibleSize,
    FieldListNoRoom,
    HeaderModifiedFlags,
    HeaderFieldNumbersOutside,
    HeaderContentPastSize,
    HeaderBlocksInUse,
    // Rebuild: the geometry of the blocks, and what a run must keep before it replaces a table
    GeometryDescription,
    GeometryBlocksLieElsewhere,
    GeometryRowsReadSo,
    FieldListMissesRecords,
    RebuildFewerThanReader,
    RebuildFewerThanHeader,
    RebuildNotReplaced,
    UtilityRowsShort,
    ProbeHeaderDamaged,

    Count_  // not a message: the number of ids
};

// A catalogue entry as written in the source.
struct TMessageEntry {
    TMsg Id;
    const char* English;
    const char* Slovak;
};

// Every entry, in the order of the ids (entry i has id i).
const TMessageEntry* MessageEntries();
constexpr std::size_t MessageCount = static_cast<std::size_t>(TMsg::Count_);

// The text in the process language, or in the given one.
std::string Text(TMsg id);
std::string Text(TMsg id, TLanguage language);

// The text with %1..%9 replaced by the arguments (missing ones leave nothing).
std::string Format(TMsg id, const std::vector<std::string>& args);
std::string Format(TMsg id, const std::vector<std::string>& args, TLanguage language);
std::string FormatText(const std::string& text, const std::vector<std::string>& args);

// The operating system's reason for `errnum`: the common values from the catalogue in the
// process language (in English as the Linux C library words them, on every platform), any
// other in the system's own text.
std::string SystemReason(int errnum);

} // namespace rtl
