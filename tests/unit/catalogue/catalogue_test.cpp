// The error message catalogue: texts typed from the lists they belong to,
// letter for letter, and the system's own texts for system error codes.
#include "lumaret.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

namespace {

struct TextCase {
    unsigned long flags;
    unsigned long code;
    const char* text;
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    *os << std::hex << "flags 0x" << c.flags << " code 0x" << c.code;
}

std::string Lookup(unsigned long flags, unsigned long code, bool* isNull = nullptr)
{
    std::unique_ptr<CxString> text(LumaretErrorText(flags, code));
    if (!text)
        return "<no object>";
    if (isNull)
        *isNull = text->Text() == nullptr;
    return text->Text() ? text->Text() : "";
}

class CatalogueText : public testing::TestWithParam<TextCase> {};

TEST_P(CatalogueText, IsTheListedTextLetterForLetter)
{
    EXPECT_EQ(GetParam().text, Lookup(GetParam().flags, GetParam().code));
}

// clang-format off
const TextCase kStructuredExceptionCases[] = {
    {1, 0x40010005, "Ctrl+C signaled console process that is being debugged."},
    {1, 0x80000002, "EXCEPTION_DATATYPE_MISALIGNMENT: The thread tried to read or write data that is misaligned on hardware that does not provide alignment. For example, 16-bit values must be aligned on 2-byte boundaries; 32-bit values on 4-byte boundaries, and so on."},
    {1, 0xC0000005, "EXCEPTION_ACCESS_VIOLATION: The thread tried to read from or write to a virtual address for which it does not have the appropriate access."},
    {1, 0xC000008D, "EXCEPTION_FLT_DENORMAL_OPERAND: One of the operands in a floating-point operation is denormal. A denormal value is one that is too small to represent as a standard floating-point value."},
    {1, 0xC0000096, "EXCEPTION_PRIV_INSTRUCTION: The thread tried to execute an instruction whose operation is not allowed in the current machine mode."},
    {1, 0xC00000FD, "EXCEPTION_STACK_OVERFLOW: The thread used up its stack."},
    {1, 0x00000000, "Undefined C structured exception error"},
    {1, 0xC0000094 + 0x100, "Undefined C structured exception error"},
    {0xFFFF0001, 0xC0000005, "EXCEPTION_ACCESS_VIOLATION: The thread tried to read from or write to a virtual address for which it does not have the appropriate access."},
};

const TextCase kLibraryResultCases[] = {
    {2, 0x00000000, "No error"},
    {2, 0x80000000, "Unhandled condition has occurred. Please report this problem to Velquist Inc."},
    {2, 0x80000009, "A function that must only be called once in an object's lifetime was called again"},
    {2, 0x8000000D, "MPEG Program (or System) file format is not supported in this version."},
    {2, 0x80000203, "Debuggers are not supported"},
    {2, 0x80000301, "No VideoCD data found"},
    {2, 0x80001000, "A memory allocation has failed"},
    {3, 0x00000000, "No error"},
    {3, 0x80000001, "Object instance creation has failed"},
    {3, 0x80000100, "Current pixel depth is not supported"},
    {3, 0x80001000, "A memory allocation has failed"},
    {0x1D0003, 0x80001000, "A memory allocation has failed"},
    {2, 0x80000011, "Undefined generic error"},
    {3, 0x00001000, "Undefined generic error"},
};

const TextCase kWinMmCases[] = {
    {5, 0x0, "No error"},
    {5, 0x8, "Function isn't supported"},
    {5, 0xC, "Handle being used simultaneously on another thread (eg callback)"},
    {5, 0x14, "Driver does not call DriverCallback"},
    {5, 0x101, "File not found"},
    {5, 0x10A, "Unbuffered"},
    {5, 0x110, "Invalid file"},
    {5, 0x15, "Undefined WinMM error"},
    {5, 0x100, "Undefined WinMM error"},
    {5, 0x111, "Undefined WinMM error"},
};

const TextCase kDirectDrawCases[] = {
    {8, 0x00000000, "Status is OK."},
    {8, 0x80004001, "Action not supported."},
    {8, 0x8007000E, "DirectDraw does not have enough memory to perform the operation."},
    {8, 0x8876017C, "DirectDraw does not have enough memory to perform the operation."},
    {8, 0x88760091, "pixel format was invalid as specified."},
    {8, 0x887600B4, "Operation could not be carried out because there is no alpha accleration hardware present or available."},
    {8, 0x88760180, "Can only have ony color key active at one time for overlays"},
    {8, 0x887601B3, "Access to this surface is being refused because no driver exists which can supply a pointer to the surface. This is most likely to happen when attempting to lock the primary surface when no DCI provider is present. Will also happen on attempts to lock an optimized surface. "},
    {8, 0x887601C2, "Access to this surface is being refused because the surface is gone. The DIRECTDRAWSURFACE object representing this surface should have Restore called on it. "},
    {8, 0x887601E0, "Size requested by DirectDraw is too large --\t The individual height and width are OK."},
    {8, 0x88760248, "Surface was not locked.  An attempt to unlock a surface that was not locked at all, or by this process, has been attempted."},
    {8, 0x88760247, "Can't duplicate primary & 3D surfaces, or surfaces that are implicitly created."},
    {8, 0x887602BB, "Surfaces created by one direct draw device cannot be used directly by another direct draw device."},
    {8, 0x88760001, "Undefined DirectDraw error"},
    {8, 0x88760179, "Undefined DirectDraw error"},
};

const TextCase kAspiCases[] = {
    {14, 0x0, "SRB command is pending - Wait for completion"},
    {14, 0x4, "Host adapter, SCSI bus or SCSI target error - Check SRB_HaStat and SRB_TargStat"},
    {14, 0x82, "Invalid SRB SCSI target (no target present) - SCSI bus rescan may be required"},
    {14, 0xE0, "Invalid SRB (invalid flag, NULL buffer ptr, SRB reused, etc.)"},
    {14, 0xE9, "Not enough system resources to initialize ASPI"},
    {14, 0xEB, "ASPI DLL is located in wrong directory? (undocumented)"},
    {14, 0x3, "ASPI error"},
    {14, 0xEA, "ASPI error"},
    {15, 0x0, "No error"},
    {15, 0x9, "Bus transaction timeout"},
    {15, 0x10, "The adapter failed in issuing a Request Sense after a check condition was reported by the target device"},
    {15, 0x14, "Target Bus phase sequence failure"},
    {15, 0x1, "SCSI Host Adapter error"},
    {15, 0x15, "SCSI Host Adapter error"},
};

const TextCase kSenseKeyCases[] = {
    {17, 0x00000000, "No sense key information"},
    {17, 0x0000000F, "No sense key information"},
    {17, 0x00000200, "Not ready (LUN cannot be accessed)"},
    {17, 0xFFFF02FF, "Not ready (LUN cannot be accessed)"},
    {17, 0x12340270, "Not ready (LUN cannot be accessed)"},
    {17, 0x00000500, "Illegal request (illegal parameter in CDB or in additional parameters supplied as data)"},
    {17, 0x00000A00, "COPY, COMPARE or COPY AND VERIFY command aborted"},
    {17, 0x00000F00, "Reserved sense key"},
    {17, 0x00001000, "Sense data error"},
    {17, 0x0000FF00, "Sense data error"},
};

const TextCase kFixedTextCases[] = {
    {6, 0x0, "MCI error"},
    {6, 0x101, "MCI error"},
    {6, 0xFFFFFFFF, "MCI error"},
    {9, 0x0, "DirectX error"},
    {10, 0x88760005, "DirectX error"},
    {11, 0x1, "DirectX error"},
    {12, 0x80004005, "DirectX error"},
    {13, 0xFFFFFFFF, "DirectX error"},
    {16, 0x0, "SCSI Target error"},
    {16, 0x2, "SCSI Target error"},
    {0, 0x0, "Unknown error"},
    {0, 0x80001000, "Unknown error"},
    {18, 0x0, "Unknown error"},
    {18, 0x00000200, "Unknown error"},
    {0xFFFF, 0x1, "Unknown error"},
    {0x1D0000, 0x80001000, "Unknown error"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(StructuredExceptions, CatalogueText, testing::ValuesIn(kStructuredExceptionCases));
INSTANTIATE_TEST_SUITE_P(LibraryResults, CatalogueText, testing::ValuesIn(kLibraryResultCases));
INSTANTIATE_TEST_SUITE_P(WinMm, CatalogueText, testing::ValuesIn(kWinMmCases));
INSTANTIATE_TEST_SUITE_P(DirectDraw, CatalogueText, testing::ValuesIn(kDirectDrawCases));
INSTANTIATE_TEST_SUITE_P(AspiAndHostAdapter, CatalogueText, testing::ValuesIn(kAspiCases));
INSTANTIATE_TEST_SUITE_P(SenseKeys, CatalogueText, testing::ValuesIn(kSenseKeyCases));
INSTANTIATE_TEST_SUITE_P(FixedAndUnknown, CatalogueText, testing::ValuesIn(kFixedTextCases));

// Wine's own message texts, untrimmed: they end in CR LF.
// clang-format off
const TextCase kSystemCases[] = {
    {4, 2, "File not found.\r\n"},
    {7, 2, "File not found.\r\n"},
    {0x190004, 2, "File not found.\r\n"},
    {4, 5, "Access denied.\r\n"},
    {7, 8, "Not enough memory.\r\n"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(SystemTexts, CatalogueText, testing::ValuesIn(kSystemCases));

TEST(CatalogueSystemText, IsEmptyForACodeTheSystemDoesNotKnow)
{
    const unsigned long unknownCodes[] = {0x20000000, 0x0000FFFE, 0x80001000};
    for (unsigned long facility : {4ul, 7ul}) {
        for (unsigned long code : unknownCodes) {
            bool isNull = false;
            EXPECT_EQ("", Lookup(facility, code, &isNull)) << facility << " " << code;
            EXPECT_TRUE(isNull) << "the empty text is the null text, on the shared block";
        }
    }
}

TEST(CatalogueResult, IsANewStringOwnedByTheCaller)
{
    std::unique_ptr<CxString> first(LumaretErrorText(3, 0x80001000));
    std::unique_ptr<CxString> second(LumaretErrorText(3, 0x80001000));
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_NE(first->Text(), second->Text());
    EXPECT_EQ(1ul, first->Data()->m_refCount);
    EXPECT_EQ(43ul, first->Data()->m_allocSize);
}

} // namespace
