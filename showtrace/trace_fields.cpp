// SPDX-License-Identifier: MIT
// The trace header field catalogue: not written yet.
