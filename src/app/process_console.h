#pragma once
// The console Alt+P opens for the tool's debug lines.

namespace zorbel {

// Windows: gives the process a console window (keeping one it already has)
// and reopens standard output onto it ("CONOUT$", append mode), so the
// library's lines appear where technicians expect them. Elsewhere a process
// has no console of its own: false, and the window shows its own instead.
bool OpenProcessConsole();

}  // namespace zorbel
