# Makes the ES module twin of the module script: cmake -DIN=vorn.js -DOUT=vorn.mjs -P this.
# The script defines createVorn and exports it to CommonJS where there is CommonJS; as an ES
# module it exports it by default instead. Its Node.js branch takes its folder from __dirname,
# which an ES module lacks: with the binary embedded no file is read from there, so the
# folder is given as empty.
file(READ ${IN} script)
file(WRITE ${OUT} "// The vorn module as an ES module, for pages, workers, bundlers and Node.js.\n"
                  "var __dirname = '';\n${script}\nexport default createVorn;\n")
