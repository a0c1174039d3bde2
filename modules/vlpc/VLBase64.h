// Base64 (RFC 4648 alphabet, "=" padding) between two streams, as the VLPC
// password encoding writes it: lines of 76 characters, each ended by CR LF,
// and a CR LF after the last line, so an empty input gives CR LF alone.
#ifndef VLBASE64_H
#define VLBASE64_H

class IVLStream;

// Writes the Base64 text of the input's whole content to the output with one
// Write. A stream that is not open is opened for the call and closed again.
// A null stream throws EVLInvalidParamException.
void VLBase64Encode(IVLStream* pInput, IVLStream* pOutput);

// Decodes the input's text (CR and LF are skipped anywhere) and writes the
// bytes to the output with one Write; a null output only checks the text.
// Any other character outside the alphabet returns false and writes nothing.
// Decoding stops at "=" padding; a text cut short inside a group counts as
// padded there.
bool VLBase64Decode(IVLStream* pInput, IVLStream* pOutput);

#endif
