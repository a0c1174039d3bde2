/* A small library for the loader's tests: it answers the value it was built with. */
__attribute__((visibility("default"))) int VLTestValue(void)
{
    return VL_TEST_VALUE;
}
