// Tovanel's driver library for the IgorPlug-USB receiver, on libusb-1.0,
// with the entry points the capture loads at run time.
//
// The receiver has one control endpoint. Vendor request 2 (device to host)
// reads its receive buffer: 3 header bytes and up to 36 data bytes, each
// one mark or space in units of about 85.33 µs. The data bytes form a ring
// that starts at the offset in header byte 2. Vendor request 1 empties the
// buffer. IgorPlug2's identity is not known to this library: once
// DoEEPROMWrite has told it that an IgorPlug2 is meant, it answers "no
// device" until it is unloaded.
#include <libusb.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "drivers/igorusb/igorusb.h"

#define IGORUSB_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr uint16_t VendorId = 0x03eb;
constexpr uint16_t ProductIds[] = {0x0002, 0x21fe};
constexpr uint8_t RequestEmpty = 1;
constexpr uint8_t RequestRead = 2;
constexpr int HeaderBytes = 3;
constexpr int DataBytes = 36;
constexpr unsigned TimeoutMs = 100;
// Vendor request, device to host, to the device itself.
constexpr uint8_t RequestType = int{LIBUSB_ENDPOINT_IN} | int{LIBUSB_REQUEST_TYPE_VENDOR} |
                                int{LIBUSB_RECIPIENT_DEVICE};
constexpr int64_t RescanMs = 500;  // how often a missing receiver is looked for

enum Status { Done = 0, NoDevice = 1, NoData = 2 };

std::mutex mutex;
libusb_context* context = nullptr;
libusb_device_handle* device = nullptr;
bool claimed = false;
bool plug2 = false;
bool toldKernelDriver = false;
int64_t lastScanMs = -RescanMs;

int64_t NowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t{t.tv_sec} * 1000 + t.tv_nsec / 1000000;
}

void CloseDevice() {
    if (device == nullptr) return;
    if (claimed) libusb_release_interface(device, 0);
    claimed = false;
    libusb_close(device);
    device = nullptr;
}

// Finds and opens the receiver; false when there is none to use.
bool OpenDevice() {
    if (device != nullptr) return true;
    const int64_t now = NowMs();
    if (now - lastScanMs < RescanMs) return false;
    lastScanMs = now;
    if (context == nullptr && libusb_init(&context) != 0) {
        context = nullptr;
        return false;
    }
    for (uint16_t product : ProductIds) {
        device = libusb_open_device_with_vid_pid(context, VendorId, product);
        if (device != nullptr) break;
    }
    if (device == nullptr) return false;
    // The kernel's own driver may hold the receiver: take it over, or say
    // once that the kernel's receiver is the one to use.
    libusb_set_auto_detach_kernel_driver(device, 1);
    const int r = libusb_claim_interface(device, 0);
    if (r == 0) {
        claimed = true;
        return true;
    }
    if (!toldKernelDriver) {
        std::fprintf(stderr,
                     "libigorusb: the IgorPlug-USB receiver is held by another driver (%s); "
                     "use the LIRC receiver (/dev/lirc*) instead\n",
                     libusb_error_name(r));
        toldKernelDriver = true;
    }
    CloseDevice();
    return false;
}

int Control(uint8_t request, unsigned char* data, uint16_t length) {
    return libusb_control_transfer(
        device, RequestType, request, 0, 0, data, length, TimeoutMs);
}

__attribute__((destructor)) void Release() {
    std::lock_guard lock(mutex);
    CloseDevice();
    if (context != nullptr) libusb_exit(context);
    context = nullptr;
}

}  // namespace

IGORUSB_EXPORT int DoGetInfraCode(unsigned char* buffer, int /*dummy*/, int* count) {
    std::lock_guard lock(mutex);
    if (count != nullptr) *count = 0;
    if (buffer == nullptr || count == nullptr) return NoData;
    if (plug2 || !OpenDevice()) return NoDevice;

    unsigned char raw[HeaderBytes + DataBytes] = {};
    const int got = Control(RequestRead, raw, sizeof raw);
    if (got < 0) {
        // Unplugged or broken: look for it again on a later call.
        CloseDevice();
        return NoDevice;
    }
    if (got <= HeaderBytes) return NoData;
    const int n = got - HeaderBytes;
    const unsigned char* data = raw + HeaderBytes;
    const int start = raw[2] < n ? raw[2] : 0;
    // Oldest first: from the ring's start offset to the end, then the front.
    int k = 0;
    for (int i = start; i < n; ++i) buffer[k++] = data[i];
    for (int i = 0; i < start; ++i) buffer[k++] = data[i];
    *count = k;
    // A failure here shows as a failed read on the next call.
    unsigned char none[HeaderBytes];
    (void)Control(RequestEmpty, none, sizeof none);
    return Done;
}

IGORUSB_EXPORT int DoEEPROMWrite(int /*address*/, int /*value*/) {
    std::lock_guard lock(mutex);
    plug2 = true;
    return NoDevice;
}

// The data-port entry points exist for callers that resolve them; this
// library does not drive the receiver's data port.
IGORUSB_EXPORT int DoSetDataPortDirection(unsigned char /*direction*/) { return NoDevice; }
IGORUSB_EXPORT int DoGetDataPortDirection(unsigned char* /*direction*/) { return NoDevice; }
IGORUSB_EXPORT int DoSetOutDataPort(unsigned char /*value*/) { return NoDevice; }
IGORUSB_EXPORT int DoGetOutDataPort(unsigned char* /*value*/) { return NoDevice; }
