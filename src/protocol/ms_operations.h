#pragma once
// Board operations over the mass-storage connection: vendor commands on
// ctx.state.connection.deviceHandle(), data in 65 536-byte chunks. All return
// 1 on success and 0 on failure; none tests an abort.
#include <cstdint>

#include "protocol/operation_context.h"
#include "protocol/vcom_operations.h"

namespace zorbel {

// NOR (raw only), NAND, SPI or SD (image only).
int MsWriteImage(OperationContext& ctx, Medium medium, DataKind kind);
int MsVerify(OperationContext& ctx, Medium medium, DataKind kind);
// Reads length bytes (a multiple of 65 536) of raw SPI flash into ctx.filePath.
int MsReadRawSpi(OperationContext& ctx, uint32_t length);
// Mode from ctx.head.mode.
int MsDownloadSdram(OperationContext& ctx);
// The older chip's second loader stage: ctx.filePath from offset skip + 16.
int MsDownloadLoader(OperationContext& ctx, uint32_t skip);
// Shows "Modify OK" or "Modify Error" itself.
int MsModifyImage(OperationContext& ctx, Medium medium);
// NAND: all three choices; SPI: kImage or anything else for the whole flash;
// SD: kImage or kAll.
int MsErase(OperationContext& ctx, Medium medium, EraseChoice choice);
// NAND or SD; size text ctx.head.reservedSize, SD format flag ctx.head.sdFormat.
// The page reloads its fields after a success.
int MsSetReservedArea(OperationContext& ctx, Medium medium);

}  // namespace zorbel
