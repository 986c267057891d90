// The preprocessor library; cpp_main lands with the preprocessor.
