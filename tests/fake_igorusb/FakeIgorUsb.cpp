// A stand-in for the USB receivers' driver library, built by the tests and
// loaded through the capture's own run-time loading. Its answers are
// scripted through the FakeIgorUsb* functions, which a test reaches by
// loading the same library itself. Built three times: complete, without
// DoGetOutDataPort, and without DoEEPROMWrite.
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Answer {
    int result;
    std::vector<unsigned char> bytes;
};

std::mutex mutex;
std::deque<Answer> answers;
int calls = 0;
int eepromCalls = 0, eepromAddress = -1, eepromValue = -1;
int idleResult = 2;

}  // namespace

FAKE_EXPORT void FakeIgorUsbReset(int idle) {
    std::lock_guard lock(mutex);
    answers.clear();
    calls = eepromCalls = 0;
    eepromAddress = eepromValue = -1;
    idleResult = idle;
}

// Queues one answer: the result and the bytes stored in the caller's buffer.
FAKE_EXPORT void FakeIgorUsbAnswer(int result, const unsigned char* bytes, int count) {
    std::lock_guard lock(mutex);
    answers.push_back({result, std::vector<unsigned char>(bytes, bytes + count)});
}

FAKE_EXPORT int FakeIgorUsbCalls() {
    std::lock_guard lock(mutex);
    return calls;
}

FAKE_EXPORT int FakeIgorUsbPending() {
    std::lock_guard lock(mutex);
    return static_cast<int>(answers.size());
}

FAKE_EXPORT void FakeIgorUsbEeprom(int* callCount, int* address, int* value) {
    std::lock_guard lock(mutex);
    *callCount = eepromCalls;
    *address = eepromAddress;
    *value = eepromValue;
}

FAKE_EXPORT int DoGetInfraCode(unsigned char* buffer, int, int* count) {
    std::lock_guard lock(mutex);
    ++calls;
    if (answers.empty()) return idleResult;  // count stays as the caller set it
    const Answer a = answers.front();
    answers.pop_front();
    if (!a.bytes.empty()) std::memcpy(buffer, a.bytes.data(), a.bytes.size());
    *count = static_cast<int>(a.bytes.size());
    return a.result;
}

FAKE_EXPORT int DoSetDataPortDirection(unsigned char) { return 0; }
FAKE_EXPORT int DoGetDataPortDirection(unsigned char*) { return 0; }
FAKE_EXPORT int DoSetOutDataPort(unsigned char) { return 0; }
#ifndef FAKE_WITHOUT_OUT_PORT
FAKE_EXPORT int DoGetOutDataPort(unsigned char*) { return 0; }
#endif
#ifndef FAKE_WITHOUT_EEPROM
FAKE_EXPORT int DoEEPROMWrite(int address, int value) {
    std::lock_guard lock(mutex);
    ++eepromCalls;
    eepromAddress = address;
    eepromValue = value;
    return 0;
}
#endif
