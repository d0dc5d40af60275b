// SPDX-License-Identifier: MIT
// quorva-showtrace: not written yet.

int
main()
{
    return 1;
}
