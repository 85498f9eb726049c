// A planted "cabinet.dll": loading it must never happen. Its one export tells it apart from the
// system's library.
extern "C" __declspec(dllexport) int SeDecoyMarker() {
  return 0x5EDEC0;
}
