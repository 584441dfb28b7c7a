#pragma once

// The device link: the one HID connection to the headset, the report senders and the
// reply handlers, and the process-wide link and reply state they share.
//
// Threads: opening, writing, closing and every sender run on the user-interface thread
// (the ReadAudio/ReadStatus retries use QTimer, so that thread needs an event loop).
// Reads and the reply handlers run on the receive thread (MyThread). Every shared word
// below is atomic; the multi-byte reply fields hand out consistent copies.
//
// Opening a headset (the caller's side, in this order):
//   1. usbHidOpenDevice(store's presetDevices) == 0
//   2. create a MyThread, set runFlag = 1, start() it, connect sendReadAudio (queued)
//   3. usbHidSend_ReadAudio(0), usbHidSend_ReadStatus(0)
//   4. create and start a MyThread_Two (stop and delete the previous one)
// Removing it: usbHidCloseDevice(recvThread), then delete the receive thread.

#include "device/hidapi_abi.h"
#include "device/reportformat.h"
#include "device/sharedbytes.h"
#include "profiles/records.h"

#include <atomic>
#include <map>
#include <vector>

class MyThread;

// Link state.
extern std::atomic<hid_device *> hidDevice;   // the open interface, null when none
extern std::atomic<int> deviceOpen;           // 1 between a successful open and the close sequence
extern std::atomic<unsigned short> vendorId;  // of the open headset, 0 when none
extern std::atomic<unsigned short> productId; // of the open headset, 0 when none

// Reply state, written by the reply handlers on the receive thread.
extern SharedBytes<report::kVersionSize> versionInfo;
extern std::atomic<int> versionReceived;
extern std::atomic<int> surroundSupported; // 0: the headset offers no 7.1 surround
extern std::atomic<int> peqAckFirstBand;
extern std::atomic<int> peqAckLastBand;
extern SharedBytes<report::kIdentitySize> deviceIdBytes;
extern SharedBytes<report::kSpectrumBandCount> spectrumBands;
extern std::atomic<unsigned char> audioReplySeen;
extern std::atomic<unsigned char> statusReplySeen;
extern std::atomic<int> audioRetryCount;
extern std::atomic<int> statusRetryCount;

// 1 while the spectrum display should animate; written by the window, read by MyThread.
extern std::atomic<int> spectrumEnabled;

// The built-in filter of supported headsets: product id -> vendor id.
const std::map<unsigned short, unsigned short> &supportedHeadsets();

// Finds the supported headset's vendor-defined interface (usage page 0xFFxx) whose
// product id has an entry in `devices` with a matching `vid` text, opens it by its
// enumeration path (or reuses the open handle), sends the priming report and
// ReadVersion. 0 open, -1 the library refused to open it, -2 no such interface (or no
// usable HID library).
int usbHidOpenDevice(std::map<int, DeviceData *> devices);

// Writes one report whose first byte selects its length (0x4E: 32, 0x4F: 64).
// 0 written, 1 the write failed or was short, 2 no buffer, no open handle or an unknown
// first byte. Leaves "*Usb Write" entries in the debug log.
int usbHidWriteDevice(const unsigned char *report);

// One read of up to `length` bytes from `device`, waiting at most `milliseconds`:
// the byte count, 0 when nothing came, negative when the device is gone.
int usbHidReadDevice(hid_device *device, unsigned char *data, int length, int milliseconds);

// The close sequence, for when the open headset has been removed: clears deviceOpen,
// stops `recvThread` (null: none) and waits for it to leave its read (at most one
// read time-out), closes the handle and clears hidDevice, vendorId and productId.
// The thread object is left to the caller to delete.
void usbHidCloseDevice(MyThread *recvThread);

// Senders (user-interface thread). Each builds its request in the one transmit buffer,
// writes it and traces the outcome.
void usbHidSend_ReadVersion();
void usbHidSend_ReadAudio(int attempt);
int usbHidSend_SetPEQ(int firstByte, int firstBand, int lastBand, int modeNumber,
                      const std::vector<int> &gains);
void usbHidSend_SetVol(int a, int b, int c, int d, int e);
void usbHidSend_SetAlgorithmSwitch(int firstByte, int switchA, int switchB, int switchC);
void usbHidSend_ReadStatus(int attempt);
void usbHidSend_SpectrumSwitch(int on);

// Reply handlers (receive thread): each takes a validated reply frame of 64 bytes.
void usbHidRecv_ReadVersion(const unsigned char *frame);
void usbHidRecv_ReadAudio(const unsigned char *frame);
void usbHidRecv_SetPEQ(const unsigned char *frame);
void usbHidRecv_SetVol(const unsigned char *frame);
void usbHidRecv_SetAlgorithmSwitch(const unsigned char *frame);
void usbHidRecv_ReadStatus(const unsigned char *frame);
void usbHidRecv_SpectrumSwitch(const unsigned char *frame);

// Codes that MyThread::sendReadAudio carries to the window.
enum ReplySignal {
    NoReplySignal = 0,
    ReplyReadAudio = 20,
    ReplySetPEQ = 21,
    ReplyReadStatus = 32,
    ReplySpectrumFrame = 99,
    SpectrumPace = 999,
};

// Validates a received report (`length` bytes of the 64-byte `frame`), hands a valid one
// to its reply handler and returns the code to signal for it (NoReplySignal for an
// invalid frame or a reply the window does not hear about).
int usbHidDispatchReply(const unsigned char *frame, int length);
