#include "base/core/VLException.h"

#include <exception>
#include <new>

#include "base/core/VLMemoryAllocException.h"
#include "base/core/VLUnexpectedException.h"

EVLException::EVLException(const char* szModule, const char* szFile, int nLine)
    : m_strModuleName(szModule, VL_CHARSET_UTF8), m_strFileName(szFile, VL_CHARSET_UTF8), m_nLine(nLine)
{
}

EVLException::~EVLException()
{
}

CVLString EVLException::GetClassName() const
{
    return CVLString("EVLException", VL_CHARSET_UTF8);
}

void EVLException::Delete()
{
    delete this;
}

CVLString EVLException::ToString() const
{
    return CVLString("EVLException", VL_CHARSET_UTF8);
}

void VLDeleteException(EVLException* pException)
{
    if (pException != nullptr)
        pException->Delete();
}

void VLRethrowAsFramework(const char* szModule, const char* szFile, int nLine)
{
    try {
        throw;
    } catch (EVLException*) {
        throw;
    } catch (long v) {
        throw new EVLUnexpectedException(szModule, szFile, nLine, static_cast<VL_LONG>(v));
    } catch (unsigned long v) {
        throw new EVLUnexpectedException(szModule, szFile, nLine, static_cast<VL_ULONG>(v));
    } catch (int v) {
        throw new EVLUnexpectedException(szModule, szFile, nLine, static_cast<VL_LONG>(v));
    } catch (unsigned int v) {
        throw new EVLUnexpectedException(szModule, szFile, nLine, static_cast<VL_ULONG>(v));
    } catch (short v) {
        throw new EVLUnexpectedException(szModule, szFile, nLine, static_cast<VL_LONG>(v));
    } catch (unsigned short v) {
        throw new EVLUnexpectedException(szModule, szFile, nLine, static_cast<VL_ULONG>(v));
    } catch (char v) {
        throw new EVLUnexpectedException(szModule, szFile, nLine, static_cast<VL_LONG>(v));
    } catch (unsigned char v) {
        throw new EVLUnexpectedException(szModule, szFile, nLine, static_cast<VL_ULONG>(v));
    } catch (const char* sz) {  // catches a thrown char* too
        throw new EVLUnexpectedException(szModule, szFile, nLine, sz);
    } catch (std::bad_alloc&) {
        throw new EVLMemoryAllocException(szModule, szFile, nLine);
    } catch (std::exception& e) {
        throw new EVLUnexpectedException(szModule, szFile, nLine, e.what());
    } catch (...) {
        throw new EVLUnexpectedException(szModule, szFile, nLine);
    }
}
