// errortext - the error message catalogue: one English text for a facility
// and a code.
#include "lumaret.h"

#include "errortext.h"

#include <stddef.h>

#include <new>

namespace {

struct ErrorTextRow {
    unsigned long code;
    const char* text;
};

// clang-format off

// Facility 1: Windows structured-exception codes (the EXCEPTION_ values, and
// the console-control code 0x40010005).
const ErrorTextRow kStructuredExceptionTexts[] = {
    {0x40010005, "Ctrl+C signaled console process that is being debugged."},
    {0x80000002, "EXCEPTION_DATATYPE_MISALIGNMENT: The thread tried to read or write data that is misaligned on hardware that does not provide alignment. For example, 16-bit values must be aligned on 2-byte boundaries; 32-bit values on 4-byte boundaries, and so on."},
    {0x80000003, "EXCEPTION_BREAKPOINT: A breakpoint was encountered."},
    {0x80000004, "EXCEPTION_SINGLE_STEP: A trace trap or other single-instruction mechanism signaled that one instruction has been executed."},
    {0xC0000005, "EXCEPTION_ACCESS_VIOLATION: The thread tried to read from or write to a virtual address for which it does not have the appropriate access."},
    {0xC0000006, "EXCEPTION_IN_PAGE_ERROR: The thread tried to access a page that was not present, and the system was unable to load the page. For example, this exception might occur if a network connection is lost while running a program over the network."},
    {0xC000001D, "EXCEPTION_ILLEGAL_INSTRUCTION: The thread tried to execute an invalid instruction."},
    {0xC0000025, "EXCEPTION_NONCONTINUABLE_EXCEPTION: The thread tried to continue execution after a noncontinuable exception occurred."},
    {0xC0000026, "EXCEPTION_INVALID_DISPOSITION: An exception handler returned an invalid disposition to the exception dispatcher. Programmers using a high-level language such as C should never encounter this exception."},
    {0xC000008C, "EXCEPTION_ARRAY_BOUNDS_EXCEEDED: The thread tried to access an array element that is out of bounds and the underlying hardware supports bounds checking."},
    {0xC000008D, "EXCEPTION_FLT_DENORMAL_OPERAND: One of the operands in a floating-point operation is denormal. A denormal value is one that is too small to represent as a standard floating-point value."},
    {0xC000008E, "EXCEPTION_FLT_DIVIDE_BY_ZERO: The thread tried to divide a floating-point value by a floating-point divisor of zero."},
    {0xC000008F, "EXCEPTION_FLT_INEXACT_RESULT: The result of a floating-point operation cannot be represented exactly as a decimal fraction."},
    {0xC0000090, "EXCEPTION_FLT_INVALID_OPERATION: This exception represents any floating-point exception not included in this list."},
    {0xC0000091, "EXCEPTION_FLT_OVERFLOW: The exponent of a floating-point operation is greater than the magnitude allowed by the corresponding type."},
    {0xC0000092, "EXCEPTION_FLT_STACK_CHECK: The stack overflowed or underflowed as the result of a floating-point operation."},
    {0xC0000093, "EXCEPTION_FLT_UNDERFLOW: The exponent of a floating-point operation is less than the magnitude allowed by the corresponding type."},
    {0xC0000094, "EXCEPTION_INT_DIVIDE_BY_ZERO: The thread tried to divide an integer value by an integer divisor of zero."},
    {0xC0000095, "EXCEPTION_INT_OVERFLOW: The result of an integer operation caused a carry out of the most significant bit of the result."},
    {0xC0000096, "EXCEPTION_PRIV_INSTRUCTION: The thread tried to execute an instruction whose operation is not allowed in the current machine mode."},
    {0xC00000FD, "EXCEPTION_STACK_OVERFLOW: The thread used up its stack."},
};

// Facilities 2 and 3: the library's own result codes.
const ErrorTextRow kLibraryResultTexts[] = {
    {0x00000000, "No error"},
    {0x80000000, "Unhandled condition has occurred. Please report this problem to Velquist Inc."},
    {0x80000001, "Object instance creation has failed"},
    {0x80000002, "Operation was cancelled asynchronously"},
    {0x80000003, "Value is out of valid range"},
    {0x80000004, "Ptr is not memory-aligned"},
    {0x80000005, "Size is not memory-aligned"},
    {0x80000006, "End of file was reached"},
    {0x80000007, "An invalid parameter was passed to a function"},
    {0x80000008, "File is truncated"},
    {0x80000009, "A function that must only be called once in an object's lifetime was called again"},
    {0x8000000A, "Not enough free space on disk"},
    {0x8000000B, "RIFF file format is not supported in this version."},
    {0x8000000C, "MPEG Transport file format is not supported in this version."},
    {0x8000000D, "MPEG Program (or System) file format is not supported in this version."},
    {0x8000000E, "MPEG Audio elementary streams are not supported in this version."},
    {0x8000000F, "MPEG Video elementary streams are not supported in this version."},
    {0x80000010, "File format is not recognized"},
    {0x80000100, "Current pixel depth is not supported"},
    {0x80000200, "Intel x86 architecture is required"},
    {0x80000201, "DirectX version 3 or better is required"},
    {0x80000202, "MMX support is required"},
    {0x80000203, "Debuggers are not supported"},
    {0x80000300, "MPEG video parsing error"},
    {0x80000301, "No VideoCD data found"},
    {0x80001000, "A memory allocation has failed"},
};

// Facility 5: multimedia-system error codes (MMSYSERR_, 0x0 to 0x14) and
// multimedia file I/O error codes (MMIOERR_, 256 plus 1 to 16).
const ErrorTextRow kWinMmTexts[] = {
    {0x0, "No error"},
    {0x1, "Unspecified error"},
    {0x2, "Device ID out of range"},
    {0x3, "Driver failed enable"},
    {0x4, "Device already allocated"},
    {0x5, "Device handle is invalid"},
    {0x6, "No device driver present"},
    {0x7, "Memory allocation error"},
    {0x8, "Function isn't supported"},
    {0x9, "Error value out of range"},
    {0xA, "Invalid flag passed"},
    {0xB, "Invalid parameter passed"},
    {0xC, "Handle being used simultaneously on another thread (eg callback)"},
    {0xD, "Specified alias not found"},
    {0xE, "Bad registry database"},
    {0xF, "Registry key not found"},
    {0x10, "Registry read error"},
    {0x11, "Registry write error"},
    {0x12, "Registry delete error"},
    {0x13, "Registry value not found"},
    {0x14, "Driver does not call DriverCallback"},
    {0x101, "File not found"},
    {0x102, "Out of memory"},
    {0x103, "Cannot open"},
    {0x104, "Cannot close"},
    {0x105, "Cannot read"},
    {0x106, "Cannot write"},
    {0x107, "Cannot seek"},
    {0x108, "Cannot expand file"},
    {0x109, "Chunk not found"},
    {0x10A, "Unbuffered"},
    {0x10B, "Path incorrect"},
    {0x10C, "File was protected"},
    {0x10D, "File in use"},
    {0x10E, "Network not responding"},
    {0x10F, "No more file handles"},
    {0x110, "Invalid file"},
};

// Facility 8: DirectDraw result codes, with the generic COM results that
// DirectDraw returns. 0x8007000E and 0x8876017C share one text.
const ErrorTextRow kDirectDrawTexts[] = {
    {0x00000000, "Status is OK."},
    {0x80004001, "Action not supported."},
    {0x80004005, "Generic failure."},
    {0x800401F0, "An attempt was made to invoke an interface member of a DirectDraw object created by CoCreateInstance() before it was initialized."},
    {0x8007000E, "DirectDraw does not have enough memory to perform the operation."},
    {0x80070057, "One or more of the parameters passed to the callback function are incorrect."},
    {0x88760005, "This object is already initialized."},
    {0x8876000A, "This surface can not be attached to the requested surface."},
    {0x88760014, "This surface can not be detached from the requested surface."},
    {0x88760028, "Support is currently not available."},
    {0x88760037, "An exception was encountered while performing the requested operation."},
    {0x8876005A, "Height of rectangle provided is not a multiple of reqd alignment."},
    {0x8876005F, "Unable to match primary surface creation request with existing primary surface."},
    {0x88760064, "One or more of the caps bits passed to the callback are incorrect."},
    {0x8876006E, "DirectDraw does not support provided Cliplist."},
    {0x88760078, "DirectDraw does not support the requested mode."},
    {0x88760082, "DirectDraw received a pointer that was an invalid DIRECTDRAW object."},
    {0x88760091, "pixel format was invalid as specified."},
    {0x88760096, "Rectangle provided was invalid."},
    {0x887600A0, "Operation could not be carried out because one or more surfaces are locked."},
    {0x887600AA, "There is no 3D present."},
    {0x887600B4, "Operation could not be carried out because there is no alpha accleration hardware present or available."},
    {0x887600CD, "no clip list available."},
    {0x887600D2, "Operation could not be carried out because there is no color conversion hardware present or available."},
    {0x887600D4, "Create function called without DirectDraw object method SetCooperativeLevel being called."},
    {0x887600D7, "Surface doesn't currently have a color key."},
    {0x887600DC, "Operation could not be carried out because there is no hardware support of the dest color key."},
    {0x887600DE, "No DirectDraw support possible with current display driver."},
    {0x887600E1, "Operation requires the application to have exclusive mode but the application does not have exclusive mode."},
    {0x887600E6, "Flipping visible surfaces is not supported."},
    {0x887600F0, "There is no GDI present."},
    {0x887600FA, "Operation could not be carried out because there is no hardware present or available."},
    {0x887600FF, "Requested item was not found."},
    {0x88760104, "Operation could not be carried out because there is no overlay hardware present or available."},
    {0x88760118, "Operation could not be carried out because there is no appropriate raster op hardware present or available."},
    {0x88760122, "Operation could not be carried out because there is no rotation hardware present or available."},
    {0x88760136, "Operation could not be carried out because there is no hardware support for stretching."},
    {0x8876013C, "DirectDrawSurface is not in 4 bit color palette and the requested operation requires 4 bit color palette."},
    {0x8876013D, "DirectDrawSurface is not in 4 bit color index palette and the requested operation requires 4 bit color index palette."},
    {0x88760140, "DirectDraw Surface is not in 8 bit color mode and the requested operation requires 8 bit color."},
    {0x8876014A, "Operation could not be carried out because there is no texture mapping hardware present or available."},
    {0x8876014F, "Operation could not be carried out because there is no hardware support for vertical blank synchronized operations."},
    {0x88760154, "Operation could not be carried out because there is no hardware support for zbuffer blting."},
    {0x8876015E, "Overlay surfaces could not be z layered based on their BltOrder because the hardware does not support z layering of overlays."},
    {0x88760168, "The hardware needed for the requested operation has already been allocated."},
    {0x8876017C, "DirectDraw does not have enough memory to perform the operation."},
    {0x8876017E, "hardware does not support clipped overlays"},
    {0x88760180, "Can only have ony color key active at one time for overlays"},
    {0x88760183, "Access to this palette is being refused because the palette is already locked by another thread."},
    {0x88760190, "No src color key specified for this operation."},
    {0x8876019A, "This surface is already attached to the surface it is being attached to."},
    {0x887601A4, "This surface is already a dependency of the surface it is being made a dependency of."},
    {0x887601AE, "Access to this surface is being refused because the surface is already locked by another thread."},
    {0x887601B3, "Access to this surface is being refused because no driver exists which can supply a pointer to the surface. This is most likely to happen when attempting to lock the primary surface when no DCI provider is present. Will also happen on attempts to lock an optimized surface. "},
    {0x887601B8, "Access to Surface refused because Surface is obscured."},
    {0x887601C2, "Access to this surface is being refused because the surface is gone. The DIRECTDRAWSURFACE object representing this surface should have Restore called on it. "},
    {0x887601CC, "The requested surface is not attached."},
    {0x887601D6, "Height requested by DirectDraw is too large."},
    {0x887601E0, "Size requested by DirectDraw is too large --\t The individual height and width are OK."},
    {0x887601EA, "Width requested by DirectDraw is too large."},
    {0x887601FE, "FOURCC format requested is unsupported by DirectDraw."},
    {0x88760208, "Bitmask in the pixel format requested is unsupported by DirectDraw."},
    {0x88760219, "Vertical blank is in progress."},
    {0x8876021C, "Informs DirectDraw that the previous Blt which is transfering information to or from this Surface is incomplete."},
    {0x88760230, "Rectangle provided was not horizontally aligned on required boundary."},
    {0x88760231, "The GUID passed to DirectDrawCreate is not a valid DirectDraw driver identifier."},
    {0x88760232, "A DirectDraw object representing this driver has already been created for this process."},
    {0x88760233, "A hardware only DirectDraw object creation was attempted but the driver did not support any hardware."},
    {0x88760234, "This process already has created a primary surface."},
    {0x88760235, "Software emulation not available."},
    {0x88760236, "Region passed to Clipper::GetClipList is too small."},
    {0x88760237, "An attempt was made to set a clip list for a clipper object that is already monitoring an hwnd."},
    {0x88760238, "No clipper object attached to surface object."},
    {0x88760239, "Clipper notification requires an HWND or no HWND has previously been set as the CooperativeLevel HWND."},
    {0x8876023A, "HWND used by DirectDraw CooperativeLevel has been subclassed, this prevents DirectDraw from restoring state."},
    {0x8876023B, "The CooperativeLevel HWND has already been set. It can not be reset while the process has surfaces or palettes created."},
    {0x8876023C, "No palette object attached to this surface."},
    {0x8876023D, "No hardware support for 16 or 256 color palettes."},
    {0x8876023E, "If a clipper object is attached to the source surface passed into a BltFast call."},
    {0x8876023F, "No blter."},
    {0x88760240, "No DirectDraw ROP hardware."},
    {0x88760241, "returned when GetOverlayPosition is called on a hidden overlay"},
    {0x88760242, "returned when GetOverlayPosition is called on a overlay that UpdateOverlay has never been called on to establish a destination."},
    {0x88760243, "returned when the position of the overlay on the destination is no longer legal for that destination."},
    {0x88760244, "returned when an overlay member is called for a non-overlay surface"},
    {0x88760245, "An attempt was made to set the cooperative level when it was already set to exclusive."},
    {0x88760246, "An attempt has been made to flip a surface that is not flippable."},
    {0x88760247, "Can't duplicate primary & 3D surfaces, or surfaces that are implicitly created."},
    {0x88760248, "Surface was not locked.  An attempt to unlock a surface that was not locked at all, or by this process, has been attempted."},
    {0x88760249, "Windows can not create any more DCs."},
    {0x8876024A, "No DC was ever created for this surface."},
    {0x8876024B, "This surface can not be restored because it was created in a different mode."},
    {0x8876024C, "This surface can not be restored because it is an implicitly created surface."},
    {0x8876024D, "The surface being used is not a palette-based surface."},
    {0x8876024E, "The display is currently in an unsupported mode."},
    {0x8876024F, "Operation could not be carried out because there is no mip-map texture mapping hardware present or available."},
    {0x88760250, "The requested action could not be performed because the surface was of the wrong type."},
    {0x88760258, "Device does not support optimized surfaces, therefore no video memory optimized surfaces."},
    {0x88760259, "Surface is an optimized surface, but has not yet been allocated any memory."},
    {0x8876026C, "A DC has already been returned for this surface. Only one DC can be retrieved per surface."},
    {0x88760276, "An attempt was made to allocate non-local video memory from a device that does not support non-local video memory."},
    {0x88760280, "The attempt to page lock a surface failed."},
    {0x88760294, "The attempt to page unlock a surface failed."},
    {0x887602A8, "An attempt was made to page unlock a surface with no outstanding page locks."},
    {0x887602B2, "There is more data available than the specified buffer size could hold."},
    {0x887602B7, "The video port is not active."},
    {0x887602BB, "Surfaces created by one direct draw device cannot be used directly by another direct draw device."},
};

// Facility 14: ASPI request (SRB) status values; 0x3 and 0xEA have no row.
const ErrorTextRow kAspiStatusTexts[] = {
    {0x0, "SRB command is pending - Wait for completion"},
    {0x1, "Successful SRB completion"},
    {0x2, "Aborted SRB"},
    {0x4, "Host adapter, SCSI bus or SCSI target error - Check SRB_HaStat and SRB_TargStat"},
    {0x80, "Invalid SRB command"},
    {0x81, "Invalid SRB host adapter"},
    {0x82, "Invalid SRB SCSI target (no target present) - SCSI bus rescan may be required"},
    {0xE0, "Invalid SRB (invalid flag, NULL buffer ptr, SRB reused, etc.)"},
    {0xE1, "SRB data buffer not aligned"},
    {0xE2, "Win32s not supported"},
    {0xE3, "Missing helper driver - Reinstall ASPI or check for conflicts"},
    {0xE4, "General internal failure"},
    {0xE5, "Not enough resources to complete SRB at the present time - Retry SRB"},
    {0xE6, "Invalid transfer buffer - check constraints (large buffer may not be contiguous)"},
    {0xE7, "ASPI components have different version numbers - Reinstall ASPI"},
    {0xE8, "No currently active host adapters on the system"},
    {0xE9, "Not enough system resources to initialize ASPI"},
    {0xEB, "ASPI DLL is located in wrong directory? (undocumented)"},
};

// Facility 15: ASPI host-adapter status values.
const ErrorTextRow kHostAdapterTexts[] = {
    {0x0, "No error"},
    {0x9, "Bus transaction timeout"},
    {0xB, "SRB expired while waiting to be processed"},
    {0xD, "MESSAGE REJECT received while processing SRB"},
    {0xE, "A bus reset was detected"},
    {0xF, "A parity error was detected"},
    {0x10, "The adapter failed in issuing a Request Sense after a check condition was reported by the target device"},
    {0x11, "Selection of target timed out"},
    {0x12, "Data overrun"},
    {0x13, "Unexpected Bus Free"},
    {0x14, "Target Bus phase sequence failure"},
};

// Facility 17: SCSI sense keys, found in bits 8 to 15 of the code.
const ErrorTextRow kSenseKeyTexts[] = {
    {0x0, "No sense key information"},
    {0x1, "Recovered error (last command completed successfully)"},
    {0x2, "Not ready (LUN cannot be accessed)"},
    {0x3, "Medium error (non-recovered error)"},
    {0x4, "Hardware error (non-recoverable hardware failure)"},
    {0x5, "Illegal request (illegal parameter in CDB or in additional parameters supplied as data)"},
    {0x6, "Unit attention (removable medium may have been changed or target has been reset)"},
    {0x7, "Data protect (access was attempted to protected data)"},
    {0x8, "Medium is blank (read) or medium is not blank (write)"},
    {0x9, "Vendor specific condition"},
    {0xA, "COPY, COMPARE or COPY AND VERIFY command aborted"},
    {0xB, "Command aborted by target"},
    {0xC, "SEARCH DATA command has satisfied an equal comparison"},
    {0xD, "Volume overflow"},
    {0xE, "Miscompare"},
    {0xF, "Reserved sense key"},
};

// clang-format on

// How a facility finds its text.
enum class Source {
    Table,    // the row whose code equals the code, else the default text
    SenseKey, // the row whose code equals bits 8 to 15 of the code, else the default text
    Fixed,    // the default text for every code
    System,   // the system's message text for the code
};

struct Facility {
    unsigned long number;
    Source source;
    const ErrorTextRow* rows;
    size_t rowCount;
    const char* defaultText;
};

template <size_t N>
constexpr Facility Rows(unsigned long number, Source source, const ErrorTextRow (&rows)[N], const char* defaultText)
{
    return {number, source, rows, N, defaultText};
}

constexpr Facility NoRows(unsigned long number, Source source, const char* text)
{
    return {number, source, nullptr, 0, text};
}

// clang-format off
const Facility kFacilities[] = {
    Rows  ( 1, Source::Table,    kStructuredExceptionTexts, "Undefined C structured exception error"),
    Rows  ( 2, Source::Table,    kLibraryResultTexts,       "Undefined generic error"),
    Rows  ( 3, Source::Table,    kLibraryResultTexts,       "Undefined generic error"),
    NoRows( 4, Source::System,   nullptr),
    Rows  ( 5, Source::Table,    kWinMmTexts,               "Undefined WinMM error"),
    NoRows( 6, Source::Fixed,    "MCI error"),
    NoRows( 7, Source::System,   nullptr),
    Rows  ( 8, Source::Table,    kDirectDrawTexts,          "Undefined DirectDraw error"),
    NoRows( 9, Source::Fixed,    "DirectX error"),
    NoRows(10, Source::Fixed,    "DirectX error"),
    NoRows(11, Source::Fixed,    "DirectX error"),
    NoRows(12, Source::Fixed,    "DirectX error"),
    NoRows(13, Source::Fixed,    "DirectX error"),
    Rows  (14, Source::Table,    kAspiStatusTexts,          "ASPI error"),
    Rows  (15, Source::Table,    kHostAdapterTexts,         "SCSI Host Adapter error"),
    NoRows(16, Source::Fixed,    "SCSI Target error"),
    Rows  (17, Source::SenseKey, kSenseKeyTexts,            "Sense data error"),
};
// clang-format on

// Facility 0 and every facility above 17.
const char kUnknownErrorText[] = "Unknown error";

const Facility* FindFacility(unsigned long flags)
{
    unsigned long number = flags & CXERR_FACILITY_MASK;
    for (const Facility& facility : kFacilities) {
        if (facility.number == number)
            return &facility;
    }
    return nullptr;
}

const char* FindRow(const Facility& facility, unsigned long code)
{
    for (size_t i = 0; i < facility.rowCount; ++i) {
        if (facility.rows[i].code == code)
            return facility.rows[i].text;
    }
    return facility.defaultText;
}

// The system's message text for a system error code, in a buffer that the
// system allocates and this object releases with LocalFree. Nothing of the
// text is trimmed; a code that the system does not know gives null.
class SystemMessage {
public:
    explicit SystemMessage(unsigned long code) : m_buffer(nullptr)
    {
        DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&m_buffer), 0, nullptr);
        if (length == 0) {
            GetLastError(); // the reason is not reported
            if (m_buffer != nullptr)
                LocalFree(m_buffer);
            m_buffer = nullptr;
        }
    }
    SystemMessage(const SystemMessage&) = delete;
    SystemMessage& operator=(const SystemMessage&) = delete;
    ~SystemMessage()
    {
        if (m_buffer != nullptr)
            LocalFree(m_buffer);
    }

    const char* Text() const { return m_buffer; }

private:
    char* m_buffer;
};

} // namespace

bool CxIsSystemErrorFacility(unsigned long flags)
{
    const Facility* facility = FindFacility(flags);
    return facility != nullptr && facility->source == Source::System;
}

// The constant text for the pair; null for the system facilities.
const char* CxFixedErrorText(unsigned long flags, unsigned long code)
{
    const Facility* facility = FindFacility(flags);
    if (facility == nullptr)
        return kUnknownErrorText;

    switch (facility->source) {
    case Source::Table:
        return FindRow(*facility, code);
    case Source::SenseKey:
        return FindRow(*facility, (code >> 8) & 0xFF);
    case Source::Fixed:
        return facility->defaultText;
    case Source::System:
        break;
    }
    return nullptr;
}

// The message text for a flag word's facility and a code, as a new heap string
// owned by the caller; null when the string object cannot be allocated. A
// string whose characters cannot be made frees the object and lets its
// CxException pass; the system's buffer is released in every case.
CxString* LumaretErrorText(unsigned long flags, unsigned long code)
{
    if (!CxIsSystemErrorFacility(flags))
        return new (std::nothrow) CxString(CxFixedErrorText(flags, code));

    SystemMessage message(code);
    return new (std::nothrow) CxString(message.Text());
}
