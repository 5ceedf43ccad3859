#pragma once
// The SG_IO request built for one ScsiCommand, kept apart so tests can read
// it without a device.
#include <scsi/sg.h>

#include <cstdint>

#include "link/scsi_transport.h"

namespace zorbel {

// Sense bytes asked for with every command that wants sense data.
constexpr uint8_t kSgSenseLength = 24;

// command.data and sense (kSgSenseLength bytes) must outlive the request.
sg_io_hdr_t BuildSgIoRequest(const ScsiCommand& command, uint8_t* sense);

// The Windows code for a request the kernel carried out: 0 when the command
// reached the device and came back, whatever its SCSI status.
uint32_t SgTransportError(const sg_io_hdr_t& done);

}  // namespace zorbel
