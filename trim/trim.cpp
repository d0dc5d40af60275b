// SPDX-License-Identifier: MIT
// quorva-trim: not written yet.

int
main()
{
    return 1;
}
