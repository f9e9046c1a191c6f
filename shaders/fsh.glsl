// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// Maps the input colour from the cube's domain onto the lattice and looks it up there; alpha
// passes through.
#extension GL_ARB_texture_rectangle : enable

uniform sampler2DRect inputTexture;
uniform sampler3D lookup;
uniform float multiplier;
uniform float offset;
uniform vec3 domainMin;
uniform vec3 domainScale;

// 0..1, and 0 for NaN: a comparison with NaN is false, where clamp() may pass NaN through.
// Infinities take the edge of their sign.
float toUnit(float c)
{
    return c > 0.0 ? min(c, 1.0) : 0.0;
}

void main()
{
    vec4 colour = texture2DRect(inputTexture, gl_TexCoord[0].st);
    vec3 inDomain = (colour.rgb - domainMin) * domainScale;
    vec3 unit = vec3(toUnit(inDomain.r), toUnit(inDomain.g), toUnit(inDomain.b));
    gl_FragColor = vec4(texture3D(lookup, unit * multiplier + offset).rgb, colour.a);
}
