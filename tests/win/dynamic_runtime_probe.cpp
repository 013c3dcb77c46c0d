// Linked without -static on purpose: it needs libstdc++-6.dll and
// libgcc_s_seh-1.dll, which the import check must refuse.
#include <iostream>
#include <string>

int main(int argc, char**) {
    const std::string text(static_cast<size_t>(argc), 'x');
    std::cout << text << '\n';
    return 0;
}
