// The Windows structures, control codes and error codes the system reads from NTFS volumes and
// their change journals, as Microsoft publishes them (winioctl.h, the NTFS on-disk format). All
// little-endian; offsets in bytes. Every reader and writer of these layouts names the offsets
// here, and only here.
#pragma once

#include <cstdint>

namespace vessiko::ntfs {

// Control codes of DeviceIoControl.
constexpr uint32_t kGetNtfsVolumeData = 0x90064;  // FSCTL_GET_NTFS_VOLUME_DATA
constexpr uint32_t kGetNtfsFileRecord = 0x90068;  // FSCTL_GET_NTFS_FILE_RECORD
constexpr uint32_t kEnumUsnData = 0x900B3;        // FSCTL_ENUM_USN_DATA
constexpr uint32_t kReadUsnJournal = 0x900BB;     // FSCTL_READ_USN_JOURNAL
constexpr uint32_t kCreateUsnJournal = 0x900E7;   // FSCTL_CREATE_USN_JOURNAL
constexpr uint32_t kQueryUsnJournal = 0x900F4;    // FSCTL_QUERY_USN_JOURNAL
constexpr uint32_t kDeleteUsnJournal = 0x900F8;   // FSCTL_DELETE_USN_JOURNAL

// System error codes (GetLastError).
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorCrc = 23;
constexpr uint32_t kErrorHandleEof = 38;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorJournalDeleteInProgress = 1178;
constexpr uint32_t kErrorJournalNotActive = 1179;
constexpr uint32_t kErrorJournalEntryDeleted = 1181;
constexpr uint32_t kErrorFileCorrupt = 1392;

// GetDriveTypeW.
constexpr uint32_t kDriveUnknown = 0;
constexpr uint32_t kDriveNoRootDir = 1;
constexpr uint32_t kDriveRemovable = 2;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kDriveRemote = 4;
constexpr uint32_t kDriveCdRom = 5;
constexpr uint32_t kDriveRamDisk = 6;

// File attribute flags.
constexpr uint32_t kAttributeReadOnly = 0x1;
constexpr uint32_t kAttributeHidden = 0x2;
constexpr uint32_t kAttributeSystem = 0x4;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kAttributeNormal = 0x80;
// $FILE_NAME keeps the directory flag in this bit (DUP_FILE_NAME_INDEX_PRESENT).
constexpr uint32_t kAttributeFileNameIndexPresent = 0x10000000;

// USN reason flags.
constexpr uint32_t kReasonDataOverwrite = 0x1;
constexpr uint32_t kReasonDataExtend = 0x2;
constexpr uint32_t kReasonDataTruncation = 0x4;
constexpr uint32_t kReasonFileCreate = 0x100;
constexpr uint32_t kReasonFileDelete = 0x200;
constexpr uint32_t kReasonRenameOldName = 0x1000;
constexpr uint32_t kReasonRenameNewName = 0x2000;
constexpr uint32_t kReasonBasicInfoChange = 0x8000;
constexpr uint32_t kReasonHardLinkChange = 0x10000;
constexpr uint32_t kReasonClose = 0x80000000;

// A file reference: the record number in the low 48 bits, the sequence number above.
constexpr uint64_t kRecordNumberMask48 = 0xFFFFFFFFFFFFULL;
constexpr uint32_t kSequenceShift = 48;

// USN_RECORD_V2. Records are 8-byte aligned: length = 60 + name bytes, rounded up to 8.
namespace usn_record {
constexpr uint32_t kRecordLength = 0;                // u32
constexpr uint32_t kMajorVersion = 4;                // u16, 2
constexpr uint32_t kMinorVersion = 6;                // u16, 0
constexpr uint32_t kFileReferenceNumber = 8;         // u64
constexpr uint32_t kParentFileReferenceNumber = 16;  // u64
constexpr uint32_t kUsn = 24;                        // i64
constexpr uint32_t kTimeStamp = 32;                  // FILETIME
constexpr uint32_t kReason = 40;                     // u32
constexpr uint32_t kSourceInfo = 44;                 // u32
constexpr uint32_t kSecurityId = 48;                 // u32
constexpr uint32_t kFileAttributes = 52;             // u32
constexpr uint32_t kFileNameLength = 56;             // u16, bytes
constexpr uint32_t kFileNameOffset = 58;             // u16, 60
constexpr uint32_t kFileName = 60;                   // UTF-16
constexpr uint32_t kHeaderSize = 60;
}  // namespace usn_record

// MFT_ENUM_DATA_V0, the input of FSCTL_ENUM_USN_DATA. The output starts with the 8-byte
// StartFileReferenceNumber of the next call, then USN records.
namespace mft_enum_data {
constexpr uint32_t kStartFileReferenceNumber = 0;  // u64
constexpr uint32_t kLowUsn = 8;                    // i64
constexpr uint32_t kHighUsn = 16;                  // i64
constexpr uint32_t kSize = 24;
}  // namespace mft_enum_data

// READ_USN_JOURNAL_DATA_V0, the input of FSCTL_READ_USN_JOURNAL. The output starts with the
// 8-byte USN to continue from, then the records whose reasons meet the mask.
namespace read_usn_journal_data {
constexpr uint32_t kStartUsn = 0;            // i64
constexpr uint32_t kReasonMask = 8;          // u32
constexpr uint32_t kReturnOnlyOnClose = 12;  // u32
constexpr uint32_t kTimeout = 16;            // u64
constexpr uint32_t kBytesToWaitFor = 24;     // u64
constexpr uint32_t kUsnJournalId = 32;       // u64
constexpr uint32_t kSize = 40;
}  // namespace read_usn_journal_data

// USN_JOURNAL_DATA_V0, the output of FSCTL_QUERY_USN_JOURNAL.
namespace usn_journal_data {
constexpr uint32_t kUsnJournalId = 0;      // u64
constexpr uint32_t kFirstUsn = 8;          // i64
constexpr uint32_t kNextUsn = 16;          // i64
constexpr uint32_t kLowestValidUsn = 24;   // i64
constexpr uint32_t kMaxUsn = 32;           // i64
constexpr uint32_t kMaximumSize = 40;      // u64
constexpr uint32_t kAllocationDelta = 48;  // u64
constexpr uint32_t kSize = 56;
}  // namespace usn_journal_data

// The $Max stream of $Extend\$UsnJrnl: the journal's sizes and identity. Its $J stream holds
// the records, each at its USN as a byte offset; the part discarded is sparse, and a record that
// would not fit in the rest of a page starts the next one, the gap left zero.
namespace usn_journal_max {
constexpr uint32_t kMaximumSize = 0;        // u64
constexpr uint32_t kAllocationDelta = 8;    // u64
constexpr uint32_t kUsnJournalId = 0x10;    // u64
constexpr uint32_t kLowestValidUsn = 0x18;  // i64
constexpr uint32_t kSize = 0x20;
constexpr char16_t kJournalName[] = u"$UsnJrnl";
constexpr char16_t kRecordsStream[] = u"$J";
constexpr char16_t kSizesStream[] = u"$Max";
}  // namespace usn_journal_max

// $LogFile: Windows keeps restart pages at its start, "RSTR" (or "CHKD" after chkdsk); Linux's
// drivers leave it emptied, all 0xFF, when they mount the volume read-write.
namespace log_file {
constexpr uint8_t kRestartMagic[4] = {'R', 'S', 'T', 'R'};
constexpr uint8_t kCheckedMagic[4] = {'C', 'H', 'K', 'D'};
}  // namespace log_file

// USN_RECORD_V3, which a journal keeps when asked for 128-bit file identifiers (NTFS's own
// references are their low 64 bits). Records of major version 4 describe ranges written and
// are not returned to readers of version 2.
namespace usn_record_v3 {
constexpr uint32_t kFileReferenceNumber = 8;         // 128 bits
constexpr uint32_t kParentFileReferenceNumber = 24;  // 128 bits
constexpr uint32_t kUsn = 40;                        // i64
constexpr uint32_t kTimeStamp = 48;                  // FILETIME
constexpr uint32_t kReason = 56;                     // u32
constexpr uint32_t kFileAttributes = 68;             // u32
constexpr uint32_t kFileNameLength = 72;             // u16, bytes
constexpr uint32_t kFileNameOffset = 74;             // u16, 76
constexpr uint32_t kHeaderSize = 76;
}  // namespace usn_record_v3

// CREATE_USN_JOURNAL_DATA.
namespace create_usn_journal_data {
constexpr uint32_t kMaximumSize = 0;      // u64
constexpr uint32_t kAllocationDelta = 8;  // u64
constexpr uint32_t kSize = 16;
}  // namespace create_usn_journal_data

// DELETE_USN_JOURNAL_DATA.
namespace delete_usn_journal_data {
constexpr uint32_t kUsnJournalId = 0;  // u64
constexpr uint32_t kDeleteFlags = 8;   // u32
constexpr uint32_t kSize = 16;
constexpr uint32_t kFlagDelete = 1;  // USN_DELETE_FLAG_DELETE
constexpr uint32_t kFlagNotify = 2;  // USN_DELETE_FLAG_NOTIFY
}  // namespace delete_usn_journal_data

// The boot sector: sector 0 of an NTFS volume (the BIOS parameter block and NTFS's own fields).
namespace boot_sector {
constexpr uint32_t kOemId = 3;                     // 8 bytes, "NTFS    "
constexpr uint32_t kBytesPerSector = 0x0B;         // u16
constexpr uint32_t kSectorsPerCluster = 0x0D;      // u8; above 0x80, 2^(256 - it) sectors
constexpr uint32_t kTotalSectors = 0x28;           // u64
constexpr uint32_t kMftLcn = 0x30;                 // u64
constexpr uint32_t kMftMirrorLcn = 0x38;           // u64
constexpr uint32_t kClustersPerFileRecord = 0x40;  // i8; negative, 2 to the power of minus it bytes
constexpr uint32_t kClustersPerIndexBlock = 0x44;  // i8, the same
constexpr uint32_t kSerialNumber = 0x48;           // u64
constexpr uint32_t kSignature = 0x1FE;             // u16, 0xAA55
constexpr uint32_t kSize = 512;
constexpr uint16_t kSignatureValue = 0xAA55;
constexpr uint8_t kOemIdBytes[8] = {'N', 'T', 'F', 'S', ' ', ' ', ' ', ' '};
}  // namespace boot_sector

// NTFS_VOLUME_DATA_BUFFER, the output of FSCTL_GET_NTFS_VOLUME_DATA.
namespace volume_data {
constexpr uint32_t kVolumeSerialNumber = 0;             // i64
constexpr uint32_t kNumberSectors = 8;                  // i64
constexpr uint32_t kTotalClusters = 16;                 // i64
constexpr uint32_t kFreeClusters = 24;                  // i64
constexpr uint32_t kTotalReserved = 32;                 // i64
constexpr uint32_t kBytesPerSector = 40;                // u32
constexpr uint32_t kBytesPerCluster = 44;               // u32
constexpr uint32_t kBytesPerFileRecordSegment = 48;     // u32
constexpr uint32_t kClustersPerFileRecordSegment = 52;  // u32
constexpr uint32_t kMftValidDataLength = 56;            // i64
constexpr uint32_t kMftStartLcn = 64;                   // i64
constexpr uint32_t kMft2StartLcn = 72;                  // i64
constexpr uint32_t kMftZoneStart = 80;                  // i64
constexpr uint32_t kMftZoneEnd = 88;                    // i64
constexpr uint32_t kSize = 96;
constexpr uint32_t kBytesPerSectorValue = 512;  // what NTFS volumes report
}  // namespace volume_data

// NTFS_FILE_RECORD_INPUT_BUFFER (8 bytes: a file reference) and
// NTFS_FILE_RECORD_OUTPUT_BUFFER, whose record starts at byte 12. The call returns the first
// record in use at or below the one asked for.
namespace file_record_output {
constexpr uint32_t kFileReferenceNumber = 0;  // u64
constexpr uint32_t kFileRecordLength = 8;     // u32
constexpr uint32_t kFileRecordBuffer = 12;
constexpr uint32_t kInputSize = 8;
}  // namespace file_record_output

// FILE record segment header. On disk the last two bytes of every 512-byte stride hold the
// update sequence number and the array keeps the real bytes; the control code hands the
// record out with the real bytes back in place.
namespace file_record {
constexpr uint32_t kMagic = 0;                     // "FILE"
constexpr uint32_t kUpdateSequenceOffset = 4;      // u16
constexpr uint32_t kUpdateSequenceCount = 6;       // u16
constexpr uint32_t kLsn = 8;                       // u64
constexpr uint32_t kSequenceNumber = 0x10;         // u16
constexpr uint32_t kLinkCount = 0x12;              // u16
constexpr uint32_t kFirstAttributeOffset = 0x14;   // u16
constexpr uint32_t kFlags = 0x16;                  // u16
constexpr uint32_t kBytesUsed = 0x18;              // u32
constexpr uint32_t kBytesAllocated = 0x1C;         // u32
constexpr uint32_t kBaseRecord = 0x20;             // u64, 0 for a base record
constexpr uint32_t kNextAttributeInstance = 0x28;  // u16
constexpr uint32_t kRecordNumber = 0x2C;           // u32
constexpr uint32_t kUpdateSequenceArray = 0x30;
constexpr uint16_t kFlagInUse = 0x1;
constexpr uint16_t kFlagDirectory = 0x2;
constexpr uint32_t kSectorStride = 512;
constexpr uint8_t kMagicBytes[4] = {'F', 'I', 'L', 'E'};
}  // namespace file_record

// Attribute record header.
namespace attribute {
constexpr uint32_t kType = 0;          // u32
constexpr uint32_t kLength = 4;        // u32, 8-aligned
constexpr uint32_t kNonResident = 8;   // u8
constexpr uint32_t kNameLength = 9;    // u8, units
constexpr uint32_t kNameOffset = 0xA;  // u16
constexpr uint32_t kFlags = 0xC;       // u16
constexpr uint32_t kInstance = 0xE;    // u16
// Resident form.
constexpr uint32_t kValueLength = 0x10;  // u32
constexpr uint32_t kValueOffset = 0x14;  // u16
constexpr uint32_t kResidentHeaderSize = 0x18;
constexpr uint32_t kResidentFlags = 0x16;  // u8
constexpr uint8_t kResidentIndexed = 0x1;  // set on $FILE_NAME, which directories index
// Non-resident form.
constexpr uint32_t kLowestVcn = 0x10;           // u64
constexpr uint32_t kHighestVcn = 0x18;          // u64
constexpr uint32_t kMappingPairsOffset = 0x20;  // u16
constexpr uint32_t kCompressionUnit = 0x22;     // u8
constexpr uint32_t kAllocatedSize = 0x28;       // u64
constexpr uint32_t kDataSize = 0x30;            // u64
constexpr uint32_t kInitializedSize = 0x38;     // u64
constexpr uint32_t kNonResidentHeaderSize = 0x40;

constexpr uint32_t kTypeStandardInformation = 0x10;
constexpr uint32_t kTypeAttributeList = 0x20;
constexpr uint32_t kTypeFileName = 0x30;
constexpr uint32_t kTypeVolumeName = 0x60;  // UTF-16, no terminator
constexpr uint32_t kTypeData = 0x80;
constexpr uint32_t kTypeIndexRoot = 0x90;
constexpr uint32_t kTypeIndexAllocation = 0xA0;  // the index blocks of a large index
constexpr uint32_t kTypeEnd = 0xFFFFFFFF;
}  // namespace attribute

// $STANDARD_INFORMATION value (the first 48 bytes).
namespace standard_information {
constexpr uint32_t kCreation = 0;
constexpr uint32_t kModification = 8;
constexpr uint32_t kRecordChange = 0x10;
constexpr uint32_t kLastAccess = 0x18;
constexpr uint32_t kAttributes = 0x20;       // u32
constexpr uint32_t kMaximumVersions = 0x24;  // u32
constexpr uint32_t kVersion = 0x28;          // u32
constexpr uint32_t kClassId = 0x2C;          // u32
constexpr uint32_t kOwnerId = 0x30;          // u32
constexpr uint32_t kSecurityId = 0x34;       // u32
constexpr uint32_t kQuotaCharged = 0x38;     // u64
constexpr uint32_t kUsn = 0x40;              // i64, the file's last USN
constexpr uint32_t kSize = 0x48;             // with the NTFS 3 fields
}  // namespace standard_information

// $FILE_NAME value. One per hard link, plus a DOS twin of a long name.
namespace file_name {
constexpr uint32_t kParent = 0;            // u64 file reference
constexpr uint32_t kCreation = 0x08;       // FILETIME
constexpr uint32_t kModification = 0x10;   // FILETIME
constexpr uint32_t kRecordChange = 0x18;   // FILETIME
constexpr uint32_t kLastAccess = 0x20;     // FILETIME
constexpr uint32_t kAllocatedSize = 0x28;  // u64
constexpr uint32_t kDataSize = 0x30;       // u64, often stale or 0
constexpr uint32_t kAttributes = 0x38;     // u32
constexpr uint32_t kNameLength = 0x40;     // u8, units
constexpr uint32_t kNamespace = 0x41;      // u8
constexpr uint32_t kName = 0x42;           // UTF-16
constexpr uint8_t kNamespacePosix = 0;
constexpr uint8_t kNamespaceWin32 = 1;
constexpr uint8_t kNamespaceDos = 2;
constexpr uint8_t kNamespaceWin32AndDos = 3;
}  // namespace file_name

// $INDEX_ROOT value: the root header, then an index header, then the entries. A directory's
// index of file names is named "$I30" and collated by file name.
namespace index_root {
constexpr uint32_t kIndexedType = 0;              // u32, 0x30 for file names
constexpr uint32_t kCollationRule = 4;            // u32
constexpr uint32_t kIndexBlockSize = 8;           // u32
constexpr uint32_t kClustersPerIndexBlock = 0xC;  // u8
constexpr uint32_t kIndexHeader = 0x10;
constexpr uint32_t kCollationFileName = 1;
constexpr char16_t kFileNameIndexName[] = u"$I30";
}  // namespace index_root

// Index header, inside $INDEX_ROOT and every index block; offsets count from the header.
namespace index_header {
constexpr uint32_t kEntriesOffset = 0;  // u32
constexpr uint32_t kIndexLength = 4;    // u32
constexpr uint32_t kAllocatedSize = 8;  // u32
constexpr uint32_t kFlags = 0xC;        // u8, 0 when the whole index fits in the root
constexpr uint32_t kSize = 0x10;
}  // namespace index_header

// Index entry.
namespace index_entry {
constexpr uint32_t kFileReference = 0;  // u64
constexpr uint32_t kLength = 8;         // u16
constexpr uint32_t kKeyLength = 0xA;    // u16
constexpr uint32_t kFlags = 0xC;        // u16
constexpr uint32_t kHeaderSize = 0x10;
constexpr uint16_t kFlagSubnode = 0x1;  // a child block's VCN in the entry's last 8 bytes
constexpr uint16_t kFlagLast = 0x2;     // the end entry, with no key
}  // namespace index_entry

// An index block of $INDEX_ALLOCATION: a multi-sector structure like a FILE record.
namespace index_block {
constexpr uint32_t kIndexHeader = 0x18;
constexpr uint8_t kMagicBytes[4] = {'I', 'N', 'D', 'X'};
}  // namespace index_block

// $ATTRIBUTE_LIST entry.
namespace attribute_list_entry {
constexpr uint32_t kType = 0;                 // u32
constexpr uint32_t kLength = 4;               // u16
constexpr uint32_t kNameLength = 6;           // u8
constexpr uint32_t kNameOffset = 7;           // u8
constexpr uint32_t kLowestVcn = 8;            // u64
constexpr uint32_t kSegmentReference = 0x10;  // u64: 48-bit record number, 16-bit sequence
constexpr uint32_t kInstance = 0x18;          // u16
constexpr uint32_t kHeaderSize = 0x1A;
}  // namespace attribute_list_entry

}  // namespace vessiko::ntfs
