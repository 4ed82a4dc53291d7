#include "capture/UsbCapture.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <system_error>

#include <dlfcn.h>

#include "capture/CaptureThreads.h"
#include "capture/FrameAssembler.h"
#include "capture/Setup/AppPaths.h"
#include "capture/UsbDecoding.h"

namespace tovanel {

namespace {

constexpr const char* LoadError = "Error loading ";
constexpr const char* InvalidError = "Invalid ";
constexpr const char* DefaultLibrary = "libigorusb.so";

template <typename Fn>
bool Resolve(void* handle, const char* name, Fn& fn, std::string& missing) {
    fn = reinterpret_cast<Fn>(dlsym(handle, name));
    if (fn != nullptr) return true;
    missing += std::string(missing.empty() ? "" : ", ") + name;
    return false;
}

// The library's file name, as the messages name it.
std::string FileName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

IgorUsbLibrary::Result IgorUsbLibrary::Load(const std::vector<std::string>& candidates,
                                            bool needEeprom, std::string* error) {
    Unload();
    std::string why, loaded;
    for (const std::string& path : candidates) {
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ != nullptr) {
            loaded = path;
            break;
        }
        const char* text = dlerror();
        why += (why.empty() ? "" : "; ") + std::string(text ? text : path + ": cannot be loaded");
    }
    if (handle_ == nullptr) {
        if (error) *error = why;
        return Result::NotFound;
    }
    std::string missing;
    bool ok = Resolve(handle_, "DoGetInfraCode", getInfraCode, missing);
    ok = Resolve(handle_, "DoSetDataPortDirection", setDataPortDirection, missing) && ok;
    ok = Resolve(handle_, "DoGetDataPortDirection", getDataPortDirection, missing) && ok;
    ok = Resolve(handle_, "DoSetOutDataPort", setOutDataPort, missing) && ok;
    ok = Resolve(handle_, "DoGetOutDataPort", getOutDataPort, missing) && ok;
    std::string optional;
    if (!Resolve(handle_, "DoEEPROMWrite", eepromWrite, needEeprom ? missing : optional)) ok = ok && !needEeprom;
    if (!ok) {
        if (error) *error = loaded + " lacks " + missing;
        Unload();
        return Result::Invalid;
    }
    return Result::Loaded;
}

void IgorUsbLibrary::Unload() {
    getInfraCode = nullptr;
    setDataPortDirection = nullptr;
    getDataPortDirection = nullptr;
    setOutDataPort = nullptr;
    getOutDataPort = nullptr;
    eepromWrite = nullptr;
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = nullptr;
}

std::vector<std::string> IgorUsbCandidates() {
    if (const char* env = std::getenv("TOVANEL_IGORUSB"); env != nullptr && *env != '\0') return {env};
    return {ExecutableDir() + "/" + DefaultLibrary, DefaultLibrary};
}

UsbCapture::UsbCapture(CaptureSinks sinks, Options options)
    : sinks_(std::move(sinks)), options_(std::move(options)) {}

UsbCapture::UsbCapture(CaptureSinks sinks) : UsbCapture(std::move(sinks), Options{}) {}

UsbCapture::~UsbCapture() { Stop(); }

bool UsbCapture::Start(bool plug2) {
    Stop();
    const std::vector<std::string> candidates = options_.libraries.empty() ? IgorUsbCandidates() : options_.libraries;
    std::string why;
    const auto result = library_.Load(candidates, plug2, &why);
    // Named by the file looked for first: ours, or the one $TOVANEL_IGORUSB names.
    const std::string name = candidates.empty() ? DefaultLibrary : FileName(candidates.front());
    if (result == IgorUsbLibrary::Result::NotFound) {
        sinks_.Error(LoadError + name + ": " + why);
        return false;
    }
    if (result == IgorUsbLibrary::Result::Invalid) {
        sinks_.Error(InvalidError + name + ": " + why);
        return false;
    }
    if (plug2) library_.eepromWrite(13, 192);
    {
        std::lock_guard lock(mutex_);
        stop_ = false;
    }
    try {
        thread_ = std::thread([this, plug2] { Poll(plug2); });
    } catch (const std::system_error&) {
        Stop();
        return false;
    }
    if (options_.realtime) RaiseToRealtime(thread_);
    return true;
}

void UsbCapture::Stop() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    library_.Unload();
    ++stops_;
}

void UsbCapture::Poll(bool plug2) {
    // The library may write its whole answer buffer; only the first bytes count.
    unsigned char answer[IGORUSB_ANSWER_SIZE] = {};
    int32_t list[UsbMaxDurations];
    std::unique_lock lock(mutex_);
    while (!stop_) {
        lock.unlock();
        int count = 0;
        const int status = library_.getInfraCode(answer, 0, &count);
        usbStatus_.store(status, std::memory_order_relaxed);
        if (status == 0 && count > 0) {
            const int32_t used = std::min<int32_t>(count, UsbAnswerBytes);
            int32_t n = plug2 ? DecodeIgorPlug2(answer, used, list) : DecodeIgorPlug(answer, used, list);
            // An IgorPlug2 answer that is no frame gives no durations and is ignored.
            const bool noFrame = plug2 && n == 0 && used >= 2 && answer[0] == 255 && answer[1] == 255;
            if (!noFrame) {
                n = ApplyLeadIn(list, n);
                sinks_.Frame(UnknownGap, list, n, nullptr, 0);
            }
        }
        lock.lock();
        if (!stop_) cv_.wait_for(lock, std::chrono::milliseconds(PollMs), [this] { return stop_; });
    }
}

}  // namespace tovanel
