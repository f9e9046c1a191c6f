// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// A statement with no right-hand side: the compiler rejects it.
void main()
{
    gl_Position = ;
}
