// Keeps the fakes library non-empty while the fakes are header-only.
namespace kirnow::fakes {
int fakes_anchor = 0;
}
