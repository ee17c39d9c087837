// Keeps the platform library non-empty on every build; the seams' implementations live in the
// service folders beside this file.
namespace kirnow::platform {
int seams_anchor = 0;
}
