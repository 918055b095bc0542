namespace tessivar {
const char* library_name() { return "Tessivar"; }
}  // namespace tessivar
