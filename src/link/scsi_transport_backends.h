#pragma once
// The POSIX SCSI transports behind OpenScsiTransport. The dispatch lives in
// scsi_transport_open_posix.cpp; Windows builds bring their own.
#include <cstdint>
#include <memory>
#include <string>

#include "link/scsi_transport.h"

namespace zorbel {

inline constexpr const char* kScsiSocketPrefix = "unix:";

// A client of the SCSI-over-socket framing on a Unix-domain stream socket.
std::unique_ptr<ScsiTransport> OpenSocketScsiTransport(const std::string& socketPath, uint32_t* error);

// SG_IO on a block or sg device node (Linux only).
std::unique_ptr<ScsiTransport> OpenSgScsiTransport(const std::string& devicePath, uint32_t* error);

}  // namespace zorbel
