#pragma once
// Board operations over the virtual COM port. Each opens ctx.port on
// ctx.portName, selects its FlashMethod, moves its data in 4096-byte chunks
// and closes the port again. All return 1 on success, 0 on failure or abort;
// failures that need the user are shown through ctx.prompt.
#include <cstdint>

#include "protocol/operation_context.h"

namespace zorbel {

// Erase choices of the erase pages.
enum class EraseChoice : uint8_t { kImage = 0, kAll = 1, kSystemArea = 2 };

int VcomDownloadSdram(OperationContext& ctx);
// NOR, NAND or SPI image burn; fills *ctx.keptHead and sends it.
int VcomBurnImage(OperationContext& ctx, Medium medium);
// Raw NOR, NAND (a NAND ROM file: its first 12 bytes are not sent) or SPI burn.
int VcomBurnRaw(OperationContext& ctx, Medium medium);
// Resends the kept head with command 3 and compares what the board returns.
int VcomVerify(OperationContext& ctx, Medium medium, DataKind kind);
// The image number comes from ctx.head.imageNumber for EraseChoice::kImage.
int VcomErase(OperationContext& ctx, Medium medium, EraseChoice choice);
// Sets the type (ctx.head.imageType) of image ctx.head.imageNumber; shows
// "Modify OK" or "Modify Error" itself.
int VcomModifyImage(OperationContext& ctx, Medium medium);

}  // namespace zorbel
