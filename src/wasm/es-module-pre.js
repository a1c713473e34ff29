// The vorn module as an ES module, for pages, workers, bundlers and Node.js.
var __dirname = '';
