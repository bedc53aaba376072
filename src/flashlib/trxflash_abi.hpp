#pragma once

#include <cstdint>

// The C functions of a flash library as the program loads them by name. Our own library
// `trxflash` exports these; another library with the nine functions can take its place.
namespace trx::flash::abi {

using SetComFn = std::int32_t (*)(const char* port_name, std::int32_t baud);
using InitMonitorFn = std::int32_t (*)(char* target_name);
using AdjustCpuFrequencyFn = std::int32_t (*)(double* hz);
using LoadFileFn = std::int32_t (*)(const char* path, std::int32_t* size);
using AutoROMS1Fn = std::int32_t (*)(std::int16_t* flag);
using GetHexFileBlockFn = std::int32_t (*)(std::int32_t* block);
using EraseFlashFn = std::int32_t (*)(std::int32_t block);
using ProgramFlashFn = std::int32_t (*)();
using CloseComFn = std::int32_t (*)();

// Optional extras beside the nine, between InitMonitor and CloseCom: the sectors of the loaded
// image whose CRC differs (nothing written), a range of the flash read back, and how many
// sectors the last EraseFlash found holding the image already.
using VerifyFlashFn = std::int32_t (*)(std::int32_t* differing);
using ReadFlashFn = std::int32_t (*)(std::uint32_t address, std::uint32_t length,
                                     std::uint8_t* buffer);
using GetSkippedSectorsFn = std::int32_t (*)();

// Optional extras. Phase: 0 erase, 1 program, 2 verify, 3 rate (done: the baud rate in use),
// 4 read.
using ProgressCallback = void (*)(void* context, std::int32_t phase, std::int64_t done,
                                  std::int64_t total);
using SetProgressCallbackFn = void (*)(ProgressCallback fn, void* context);
// The library's diagnostics, one line each; level 0 debug, 1 info, 2 warning. A null callback
// stops them. Optional: a library without SetLogCallback still loads.
using LogCallback = void (*)(void* context, int level, const char* text);
using SetLogCallbackFn = void (*)(LogCallback fn, void* context);
// Copies the reason of the last failure, zero-terminated and cut to `size`; returns its full
// length (0 after a success).
using GetLastErrorTextFn = std::int32_t (*)(char* buffer, std::int32_t size);
// The highest rate the transfer may use; 57600 turns the negotiation off.
using SetMaxBaudFn = void (*)(std::int32_t baud);

} // namespace trx::flash::abi
