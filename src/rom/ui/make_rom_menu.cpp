#include "rom/ui/make_rom_menu.h"

#include <QMenu>

#include "app/tool_state.h"
#include "link/serial_port.h"
#include "pages/page_host.h"
#include "rom/nand_block_size.h"
#include "rom/ui/make_rom_dialogs.h"

namespace zorbel {

void AddMakeRomMenu(QMenu& menu, PageHost& host, QWidget* parent) {
  QMenu* sub = menu.addMenu(QString::fromUtf8(kMakeRomMenu));
  sub->setObjectName("makeRom");
  sub->addAction(QStringLiteral("NOR..."), parent, [&host, parent] { ExecMakeRomNorDlg(host, parent); });
  sub->addAction(QStringLiteral("NAND..."), parent, [&host, parent] {
    SerialPort port;
    const auto blockSize = MakeRomBlockSize(port, host.State().connection.portPath, host.Prompt());
    if (blockSize) ExecMakeRomNandDlg(host, *blockSize, parent);
  });
  sub->addAction(QStringLiteral("SPI..."), parent, [&host, parent] { ExecMakeRomSpiDlg(host, parent); });
}

}  // namespace zorbel
