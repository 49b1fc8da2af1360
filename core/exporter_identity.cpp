#include "core/kestrelworks.h"

int Kestrelworks::ExtCount() { return 1; }
const char* Kestrelworks::Ext(int) { return "smd"; }
const char* Kestrelworks::LongDesc() { return "Source Studio Model Data (SMD) Export"; }
const char* Kestrelworks::ShortDesc() { return "Source SMD"; }
const char* Kestrelworks::AuthorName() { return "Kestrelworks developers"; }
const char* Kestrelworks::CopyrightMessage() { return "Copyright 2026 Kestrelworks developers"; }
const char* Kestrelworks::OtherMessage1() { return "https://kestrelworks.invalid/"; }
const char* Kestrelworks::OtherMessage2() { return ""; }
unsigned int Kestrelworks::Version() {
  return static_cast<unsigned int>(static_cast<int>(40.0f * versionValue));
}
void Kestrelworks::ShowAbout(HostWindow) {}
int Kestrelworks::SupportsOptions(int, std::uint32_t) { return 1; }
