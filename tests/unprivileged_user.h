#pragma once

class TestTree;

// Root opens every file whatever its permission bits, and CI runs as root. For the time this
// object lives, a test run as root acts as the unprivileged user "nobody" (and so do the programs
// it starts), so that locked files and folders stay locked; for anyone else it changes nothing.
// The tree's root is opened to everyone so that "nobody" reaches into it.
class UnprivilegedUser
{
public:
    explicit UnprivilegedUser(const TestTree &tree);
    ~UnprivilegedUser();
    UnprivilegedUser(const UnprivilegedUser &) = delete;
    UnprivilegedUser &operator=(const UnprivilegedUser &) = delete;

private:
    bool m_switched = false;
};
