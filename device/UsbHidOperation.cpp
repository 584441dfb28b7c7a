#include "device/UsbHidOperation.h"

#include "device/MyThread.h"
#include "device/hidlibrary.h"
#include "device/openfailure.h"
#include "diagnostics/debuglog.h"
#include "profiles/jsonfiles.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTimer>

#include <functional>
#include <string>

std::atomic<hid_device *> hidDevice{nullptr};
std::atomic<int> deviceOpen{0};
std::atomic<unsigned short> vendorId{0};
std::atomic<unsigned short> productId{0};

SharedBytes<report::kVersionSize> versionInfo;
std::atomic<int> versionReceived{0};
std::atomic<int> surroundSupported{0};
std::atomic<int> peqAckFirstBand{0};
std::atomic<int> peqAckLastBand{0};
SharedBytes<report::kIdentitySize> deviceIdBytes;
SharedBytes<report::kSpectrumBandCount> spectrumBands;
std::atomic<unsigned char> audioReplySeen{0};
std::atomic<unsigned char> statusReplySeen{0};
std::atomic<int> audioRetryCount{0};
std::atomic<int> statusRetryCount{0};
std::atomic<int> spectrumEnabled{0};

namespace
{

const char kModule[] = "UsbHidOperation";

constexpr int kReadTimeoutMs = 50;
constexpr int kRetryDelayMs = 50;
constexpr int kMaxRetries = 10;
constexpr unsigned short kVendorDefinedPageHigh = 0xFF;

// The one transmit buffer every sender builds its request in (user-interface thread only).
unsigned char transmitBuffer[report::kBufferSize];

void traceLine(const char *text)
{
    qDebug().noquote() << text;
}

// The trace of a sender, chosen by the result of usbHidWriteDevice.
void traceSend(int result, const char *notOpen, const char *writeFail, const char *success)
{
    traceLine(result == 2 ? notOpen : result == 1 ? writeFail : success);
}

int sendRequest(unsigned char reportId, unsigned char command, const unsigned char *payload, int length)
{
    const Report request = buildRequest(reportId, command, payload, length);
    std::copy(request.begin(), request.end(), transmitBuffer);
    return usbHidWriteDevice(transmitBuffer);
}

void later(int milliseconds, std::function<void()> action)
{
    if (QCoreApplication::instance())
        QTimer::singleShot(milliseconds, QCoreApplication::instance(), std::move(action));
}

// What ReadAudio and ReadStatus share: their reply flag, retry counter and texts.
struct RetriedRequest {
    unsigned char command;
    std::atomic<unsigned char> &replySeen;
    std::atomic<int> &retryCount;
    void (*sender)(int);
    const char *callFail;
    const char *finalFail;
    const char *notOpen;
    const char *writeFail;
    const char *success;
};

const RetriedRequest readAudioRequest{CmdReadAudio,
                                      audioReplySeen,
                                      audioRetryCount,
                                      usbHidSend_ReadAudio,
                                      "Kelm::usbHidSend_ReadAudio Call Fail",
                                      "Kelm usbHidSend_ReadAudio:Fail",
                                      "[Send - ReadAudio::Device Not Open!]",
                                      "[Send - ReadAudio::Write Fail!]",
                                      "[Send - ReadAudio::Write Success!]"};

const RetriedRequest readStatusRequest{CmdReadStatus,
                                       statusReplySeen,
                                       statusRetryCount,
                                       usbHidSend_ReadStatus,
                                       "Kelm::usbHidSend_ReadStatus Call Fail",
                                       "Kelm usbHidSend_ReadStatus:Fail",
                                       "[Send - ReadStatus::Device Not Open!]",
                                       "[Send - ReadStatus::Write Fail!]",
                                       "[Send - ReadStatus::Write Success!]"};

// Two independent retries: a watchdog re-sends while no reply has come (at most ten
// times between two replies, even across re-plugging, since only a reply resets the
// counter), and a failed write is tried again up to attempt 10.
void sendRetried(const RetriedRequest &request, int attempt)
{
    const unsigned char payload[] = {0x00};
    const Report frame = buildRequest(report::kLongRequestId, request.command, payload, 1);
    std::copy(frame.begin(), frame.end(), transmitBuffer);

    if (request.replySeen == 0) {
        const RetriedRequest *r = &request;
        later(kRetryDelayMs, [r] {
            if (r->replySeen == 0 && r->retryCount < kMaxRetries) {
                traceLine(r->callFail);
                ++r->retryCount;
                r->sender(0);
            }
        });
    }
    request.replySeen = 0;

    const int result = usbHidWriteDevice(transmitBuffer);
    traceSend(result, request.notOpen, request.writeFail, request.success);
    if (result != 0 && attempt < kMaxRetries) {
        const RetriedRequest *r = &request;
        later(kRetryDelayMs, [r, attempt] { r->sender(attempt + 1); });
    }
    if (result != 0 && attempt == kMaxRetries)
        traceLine(request.finalFail);
}

unsigned char payloadByte(const unsigned char *frame, int index)
{
    return frame[report::kPayloadStart + index];
}

bool rejected(const unsigned char *frame)
{
    return payloadByte(frame, report::kStatusPayloadByte) == report::kStatusRejected;
}

} // namespace

const std::map<unsigned short, unsigned short> &supportedHeadsets()
{
    static const std::map<unsigned short, unsigned short> table = {
        {0x4151, 0x3508}, // product id -> vendor id
    };
    return table;
}

int usbHidOpenDevice(std::map<int, DeviceData *> devices)
{
    const HidLibrary *hid = hidLibrary();
    if (!hid)
        return -2;

    unsigned short matchedVendor = 0;
    unsigned short matchedProduct = 0;
    std::string matchedPath;
    hid_device_info *list = hid->enumerate(0, 0);
    for (hid_device_info *info = list; info; info = info->next) {
        for (const auto &[filterProduct, filterVendor] : supportedHeadsets()) {
            if (info->vendor_id != filterVendor || info->product_id != filterProduct)
                continue;
            if ((info->usage_page >> 8) != kVendorDefinedPageHigh)
                continue;
            const auto entry = devices.find(info->product_id);
            if (entry == devices.end() || !entry->second || hexToInt(entry->second->vid) != info->vendor_id)
                continue;
            // No break: when several interfaces match, the last one listed is opened.
            matchedVendor = info->vendor_id;
            matchedProduct = info->product_id;
            matchedPath = info->path ? info->path : "";
        }
    }
    hid->freeEnumeration(list);

    if (matchedVendor == 0 || matchedProduct == 0)
        return -2;

    // The path names exactly the interface matched above (ids, interface number and usage page).
    if (deviceOpen == 0)
        hidDevice = hid->openPath(matchedPath.c_str());
    if (!hidDevice) {
        traceLine("Open Device Fail!");
        const wchar_t *libraryError = hid->error ? hid->error(nullptr) : nullptr;
        qDebug().noquote() << openFailureTrace(QString::fromStdString(matchedPath),
                                               libraryError ? QString::fromWCharArray(libraryError) : QString());
        return -1;
    }
    traceLine("Open Device Success!");
    vendorId = matchedVendor;
    productId = matchedProduct;
    hid->setNonblocking(hidDevice, 1);
    deviceOpen = 1;

    // A ReadVersion head without its checksum: the headset ignores it, but it is what the
    // headset expects to see first on a fresh connection.
    unsigned char priming[report::kBufferSize] = {0x4E, 0x30, 0x80, 0x18, 0x01, 0x00};
    hid->write(hidDevice, priming, report::kShortReportSize);

    usbHidSend_ReadVersion();
    return 0;
}

int usbHidWriteDevice(const unsigned char *report)
{
    if (!report) {
        writeDebugLog("*Usb Write", "fail222", kModule, __func__, __LINE__);
        return 2;
    }
    const int length = requestLength(report[report::kReportIdByte]);
    writeDebugLog("*Usb Write", "start", kModule, __func__, __LINE__);
    hid_device *device = hidDevice;
    const HidLibrary *hid = device ? hidLibrary() : nullptr;
    if (!device || !hid || length == 0) {
        writeDebugLog("*Usb Write", "fail222", kModule, __func__, __LINE__);
        return 2;
    }
    const int written = hid->write(device, report, static_cast<size_t>(length));
    if (written == report::kShortReportSize || written == report::kLongReportSize) {
        writeDebugLog("*Usb Write", "success", kModule, __func__, __LINE__);
        return 0;
    }
    writeDebugLog("*Usb Write", "fail111", kModule, __func__, __LINE__);
    return 1;
}

int usbHidReadDevice(hid_device *device, unsigned char *data, int length, int milliseconds)
{
    const HidLibrary *hid = hidLibrary();
    if (!device || !hid)
        return -1;
    return hid->readTimeout(device, data, static_cast<size_t>(length), milliseconds);
}

void usbHidCloseDevice(MyThread *recvThread)
{
    deviceOpen = 0;
    if (recvThread) {
        recvThread->runFlag = 0;
        recvThread->wait();
    }
    // Cleared before closing, so nothing can pick up a handle that is being closed.
    hid_device *device = hidDevice.exchange(nullptr);
    if (device) {
        if (const HidLibrary *hid = hidLibrary())
            hid->close(device);
    }
    vendorId = 0;
    productId = 0;
}

void usbHidSend_ReadVersion()
{
    const int result = sendRequest(report::kShortRequestId, CmdReadVersion, nullptr, 0);
    traceSend(result, "[Send - ReadVersion::Device Not Open!]", "[Send - ReadVersion::Write Fail!]",
              "[Send - ReadVersion::Write Success!]");
}

void usbHidSend_ReadAudio(int attempt)
{
    traceLine("***** Read Audio! *****");
    sendRetried(readAudioRequest, attempt);
}

void usbHidSend_ReadStatus(int attempt)
{
    sendRetried(readStatusRequest, attempt);
}

int usbHidSend_SetPEQ(int firstByte, int firstBand, int lastBand, int modeNumber,
                      const std::vector<int> &gains)
{
    const auto payload = buildPeqPayload(firstByte, firstBand, lastBand, modeNumber, gains);
    return sendRequest(report::kLongRequestId, CmdSetPEQ, payload.data(), static_cast<int>(payload.size()));
}

void usbHidSend_SetVol(int a, int b, int c, int d, int e)
{
    const unsigned char payload[] = {static_cast<unsigned char>(a), 0x00,
                                     static_cast<unsigned char>(b), static_cast<unsigned char>(c),
                                     static_cast<unsigned char>(d), static_cast<unsigned char>(e)};
    const int result = sendRequest(report::kShortRequestId, CmdSetVol, payload, sizeof payload);
    traceSend(result, "[Send - SetVol::Device Not Open!]", "[Send - SetVol::Write Fail!]",
              "[Send - SetVol::Write Success!]");
}

void usbHidSend_SetAlgorithmSwitch(int firstByte, int switchA, int switchB, int switchC)
{
    writeDebugLog("Usb Hid send Switch", "start", kModule, __func__, __LINE__);
    const unsigned char payload[] = {
        static_cast<unsigned char>(firstByte), 0x00,
        static_cast<unsigned char>(switchA),   0x00,
        static_cast<unsigned char>(switchB),   static_cast<unsigned char>(switchC)};
    const int result = sendRequest(report::kLongRequestId, CmdSetAlgorithmSwitch, payload, sizeof payload);
    traceSend(result, "[Send - SetSwitch::Device Not Open!]", "[Send - SetSwitch::Write Fail!]",
              "[Send - SetSwitch::Write Success!]");
    writeDebugLog("Usb Hid send Switch", QString("end(%1)").arg(result), kModule, __func__, __LINE__);
}

void usbHidSend_SpectrumSwitch(int on)
{
    const unsigned char payload[] = {static_cast<unsigned char>(on)};
    const int result = sendRequest(report::kLongRequestId, CmdSpectrumSwitch, payload, sizeof payload);
    traceSend(result, "[Send - SpectrumSwitch::Device Not Open!]", "[Send - SpectrumSwitch::Write Fail!]",
              "[Send - SpectrumSwitch::Write Success!]");
}

void usbHidRecv_ReadVersion(const unsigned char *frame)
{
    std::array<unsigned char, report::kVersionSize> version{};
    const unsigned char kind = payloadByte(frame, 0);
    if (kind == 0)
        traceLine("No Version.");
    else if (kind >= 1 && kind <= 3)
        std::copy(frame + report::kPayloadStart + 1, frame + report::kPayloadStart + 1 + report::kVersionSize,
                  version.begin());
    versionInfo.store(version);
    traceLine("[Recv - ReadVersion::Read Version Successful!]");
    versionReceived = 1;
}

void usbHidRecv_ReadAudio(const unsigned char *frame)
{
    audioRetryCount = 0;
    audioReplySeen = 1;
    qDebug().noquote() << "Kelm Log:Audio 7.1 usbHidRecvStart" << productId.load();
    if (rejected(frame)) {
        traceLine("[Recv - ReadAudio::Error]");
        return;
    }
    surroundSupported = payloadByte(frame, 3);
    qDebug().noquote() << "Kelm Log:Audio 7.1 End" << surroundSupported.load() << productId.load();
}

void usbHidRecv_SetPEQ(const unsigned char *frame)
{
    peqAckFirstBand = payloadByte(frame, 1);
    peqAckLastBand = payloadByte(frame, 2);
    if (rejected(frame))
        traceLine("[Recv - usbHidRecv_SetPEQ::Error]");
}

void usbHidRecv_SetVol(const unsigned char *) {}

void usbHidRecv_SetAlgorithmSwitch(const unsigned char *frame)
{
    if (rejected(frame))
        traceLine("[Recv - usbHidRecv_SetAlgorithmSwitch::Error]");
}

void usbHidRecv_ReadStatus(const unsigned char *frame)
{
    statusRetryCount = 0;
    statusReplySeen = 1;
    if (rejected(frame)) {
        traceLine("[Recv - usbHidRecv_ReadStatus::Error]");
        return;
    }
    deviceIdBytes.store(frame + report::kPayloadStart + 3);
}

void usbHidRecv_SpectrumSwitch(const unsigned char *frame)
{
    spectrumBands.store(frame + report::kPayloadStart);
}

int usbHidDispatchReply(const unsigned char *frame, int length)
{
    if (!validateReply(frame, length))
        return NoReplySignal;
    switch (frame[report::kCommandByte]) {
    case CmdReadVersion:
        usbHidRecv_ReadVersion(frame);
        return NoReplySignal;
    case CmdReadAudio:
        usbHidRecv_ReadAudio(frame);
        return ReplyReadAudio;
    case CmdSetPEQ:
        usbHidRecv_SetPEQ(frame);
        return ReplySetPEQ;
    case CmdSetVol:
        usbHidRecv_SetVol(frame);
        return NoReplySignal;
    case CmdSetAlgorithmSwitch:
        usbHidRecv_SetAlgorithmSwitch(frame);
        return NoReplySignal;
    case CmdReadStatus:
        usbHidRecv_ReadStatus(frame);
        return ReplyReadStatus;
    case CmdSpectrumSwitch:
        usbHidRecv_SpectrumSwitch(frame);
        return ReplySpectrumFrame;
    default:
        return NoReplySignal;
    }
}
