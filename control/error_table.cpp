#include "control/error_table.h"

namespace zax {
namespace {

constexpr ErrorReport kControlErrors[] = {
    {kNoError, L"No error"},
    {kSameInputAndOutput, L"The input file is the same as the output"},
    {kInputEmpty, L"The input file is empty "},
    {kOutputEmpty, L"The outputfile file is empty "},
    {kInputInvalid, L"The input file or path is invalid"},
    {kOutputInvalid, L"The output file or path is invalid"},
    {kAlreadyRunning,
     L"Already running , wait for the end of execution before calling the ZAXUncompress again"},
    {kInvalidPriority, L"Invalid processor priority level"},
    {kDestinationEmpty, L"The destination dir is empty"},
    {kSelectionEmpty, L"The files selection is empty"},
    {kCannotCreateDestination, L"Unable to create the destination directory"},
    {kNotATarFile, L"The file don't appear to be a valid tar file"},
    {kInvalidInformation, L"Invalid information passed to the control"},
    {kDamagedArchive, L"The compressed data of the file is damaged or incomplete"},
    {kMembersNotExtracted, L"Some files of the archive could not be extracted, files not extracted: "},
    {kOtherKindOfFile, L"The file is not an archive the control reads, it holds "},
    {kMemoryLimit, L"The archive needs more memory to decompress than the control allows: "},
    {kNamesCut, L"The names of the archive are too long to be listed whole, names cut to 255 characters: "},
};

}  // namespace

ErrorReport lookupControlError(std::int32_t number) {
  for (const ErrorReport& row : kControlErrors) {
    if (row.number == number) return row;
  }
  return {kUnexpectedError, L"Unexpected error"};
}

}  // namespace zax
