// SPDX-License-Identifier: MIT
// quorva-showtext: not written yet.

int
main()
{
    return 1;
}
