// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
// Maps the input colour from the cube's domain onto the lattice and looks it up there; alpha
// passes through. Built as it stands, the lookup is the texture unit's trilinear filter at the
// full amount over the domain 0..1, which nearly every cube has. The filter builds variants by
// defining MAPPED_DOMAIN (another domain mapped onto 0..1), TETRAHEDRAL (four lattice entries
// weighted here) and PARTIAL_AMOUNT (the graded colour mixed with the input), each its own
// program: a branch on a uniform made llvmpipe's trilinear draw three times as slow, and mapping
// 0..1 onto itself made it a tenth slower.
#extension GL_ARB_texture_rectangle : enable

uniform sampler2DRect inputTexture;
uniform sampler3D lookup;
uniform float multiplier;
uniform float offset;
#ifdef MAPPED_DOMAIN
uniform vec3 domainMin;
uniform vec3 domainScale;
#endif
#ifdef TETRAHEDRAL
uniform float latticeEdge;
#endif
#ifdef PARTIAL_AMOUNT
uniform float amount;
#endif

// 0..1, and 0 for NaN: a comparison with NaN is false, where clamp() may pass NaN through.
// Infinities take the edge of their sign.
float toUnit(float c)
{
    return c > 0.0 ? min(c, 1.0) : 0.0;
}

#ifdef TETRAHEDRAL
// The lattice entry at integer indices; the lattice is bound with nearest filtering for this
// program, so a texel's centre gives that texel alone.
vec3 entryAt(vec3 index)
{
    return texture3D(lookup, (index + 0.5) / latticeEdge).rgb;
}

// The tetrahedron of the lattice cell that holds the point, chosen by the order of the
// fractions: from the cell's first corner along the axis of the largest fraction, then the
// next largest, to the opposite corner. Where fractions tie, the corner that the tie leaves
// ambiguous has weight 0.
vec3 lookUp(vec3 unit)
{
    vec3 position = unit * (latticeEdge - 1.0);
    vec3 base = clamp(floor(position), 0.0, max(latticeEdge - 2.0, 0.0));
    vec3 f = position - base;
    vec3 atLeastNext = step(f.yzx, f.xyz);
    vec3 largest = atLeastNext * (1.0 - atLeastNext.zxy);
    vec3 smallest = (1.0 - atLeastNext) * atLeastNext.zxy;
    float high = max(f.x, max(f.y, f.z));
    float low = min(f.x, min(f.y, f.z));
    float middle = f.x + f.y + f.z - high - low;
    return (1.0 - high) * entryAt(base) + (high - middle) * entryAt(base + largest) +
           (middle - low) * entryAt(base + 1.0 - smallest) + low * entryAt(base + 1.0);
}
#else
vec3 lookUp(vec3 unit)
{
    return texture3D(lookup, unit * multiplier + offset).rgb;
}
#endif

void main()
{
    vec4 colour = texture2DRect(inputTexture, gl_TexCoord[0].st);
#ifdef MAPPED_DOMAIN
    vec3 inDomain = (colour.rgb - domainMin) * domainScale;
#else
    vec3 inDomain = colour.rgb;
#endif
    vec3 unit = vec3(toUnit(inDomain.r), toUnit(inDomain.g), toUnit(inDomain.b));
    vec3 graded = lookUp(unit);
#ifdef PARTIAL_AMOUNT
    graded = colour.rgb + amount * (graded - colour.rgb);
#endif
    gl_FragColor = vec4(graded, colour.a);
}
