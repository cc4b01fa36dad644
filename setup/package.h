// The setup file's layout and the part of the screen saver's data block that the setup reads.
// Pure byte logic over a buffer: no platform calls, so the native build can test and fuzz it.
//
// Setup file (offsets from its first byte; P = length of the program image):
//
//   0            P bytes    the setup program's image (never holds SetupBoundary whole)
//   P            46 bytes   SetupBoundary "@@@@@-----boundary of setup and data-----@@@@@"
//   P + 46       260 bytes  SaverNameField: bare file name, NUL within the field, NUL-filled
//   P + 306      to T       the screen-saver file, byte for byte (the payload)
//   T            to end     a certificate table, when the package has been signed
//
// Signing appends a certificate table at the end of the file and names it in the PE header of
// the program image (the security directory, whose "virtual address" is a file offset). When
// that table starts behind the name field, the payload ends where it starts (T); otherwise T is
// the end of the file. Only the header in front of the boundary counts, never the payload's bytes.
//
// Screen saver's data block (offsets from its marker; 32-bit little-endian numbers):
//
//   0            46 bytes   SaverBoundary "@@@@@-----boundary of saver and data-----@@@@@"
//   46           132 bytes  the screen saver's own settings (not read here)
//   178          4          L: logo length in bytes, 0 for none
//   182          4          (not read)
//   186          4          A: length of the first counted string
//   190          A          first counted string (not read)
//   190 + A      4          B: length of the second counted string
//   194 + A      B          second counted string (not read)
//   194 + A + B  4          (not read)
//   198 + A + B  L          LogoDib: packed DIB (header, colour table, bits)
#pragma once
#include <cstddef>
#include <cstdint>

#include "support/pathscan.h"

enum {
    kBoundaryLength = 46,
    kSaverNameFieldLength = 260,
    kPayloadOffset = kBoundaryLength + kSaverNameFieldLength,  // from the boundary's first byte
    kDataLogoLengthOffset = 178,
    kDataFirstStringOffset = 186,
    kDataFixedLength = 198,  // data block bytes in front of the logo, without the two strings
    kCertificateAlignment = 8,  // a certificate table and each of its entries start on a multiple of 8
};

// The markers are assembled from three pieces at run time, so that the program's own image
// never holds them whole and the first SetupBoundary in the file is the payload's.
void AssembleSetupBoundary(char marker[kBoundaryLength]);
void AssembleSaverBoundary(char marker[kBoundaryLength]);

// Smallest offset at which the 46 bytes of marker stand in data; length when nowhere.
size_t FindBoundary(const unsigned char* data, size_t length, const char* marker);

// Why a name field is refused (0 = accepted).
enum SaverNameVerdict {
    kNameAccepted = 0,
    kNameUnterminated,   // no NUL within the 260-byte field
    kNameEmpty,          // empty, "." or ".."
    kNameSeparator,      // a backslash, slash or colon as a one-byte character
    kNameBadCharacter,   // a control character, a wildcard or another character no file name holds
    kNameBrokenCharacter,// a lead byte without a second byte of code page 932 (0x40-0x7E, 0x80-0xFC)
    kNameBadEnding,      // ends in a dot or a blank
    kNameReservedDevice, // CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without extension
    kNameTooLong,        // directory, backslash and name would exceed 259 bytes
    kNameNotSaver,       // does not end in .scr (any letter case): not a screen saver's name
};

// Judges the name field at field (kSaverNameFieldLength bytes) as one bare file name to be
// placed in a directory whose path is directoryLength bytes long (without a trailing
// backslash). isLead must be the lead-byte test of the code page that will open the file.
SaverNameVerdict CheckSaverName(const unsigned char* field, size_t directoryLength, LeadByteTest isLead);

// Text of a verdict, for the package builder's messages.
const char* DescribeSaverNameVerdict(SaverNameVerdict verdict);

// Offset of the security directory entry (two 32-bit numbers: the certificate table's file
// offset and size) in the PE header at the start of image, which is imageLength bytes long;
// 0 when image holds no PE header with that entry wholly inside it.
size_t FindSecurityDirectoryEntry(const unsigned char* image, size_t imageLength);

// The certificate table that the PE header of image names: 1 with its file offset and size as
// the header states them (not checked against any file length), 0 when it names none.
int FindCertificateTable(const unsigned char* image, size_t imageLength, uint32_t* offset, uint32_t* size);

// Finds the payload behind the first SetupBoundary: 1, its offset (boundary + 306) and where
// it ends (the start of a certificate table behind the name field, else length) when the
// buffer holds a whole name field behind the boundary; else 0.
int LocatePayload(const unsigned char* buffer, size_t length, size_t* boundary, size_t* payload,
                  size_t* payloadEnd);

// Finds the logo in the payload's data block. 0 when the payload holds no SaverBoundary.
// On 1, *logoLength is 0 when there is no logo, or when any field, string or the logo
// itself would run past the end of the payload; otherwise *logo points into the payload.
int FindLogo(const unsigned char* payload, size_t payloadLength, const unsigned char** logo,
             uint32_t* logoLength);
