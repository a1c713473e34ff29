// vorn in VS Code: starts the package's language server (bundled beside this file, in VS Code's
// own Node.js) for vorn documents, and gives the command "vorn: Assemble", which runs the
// package's command on the document's file, as `vorn prog.s` in its folder: the object written
// the same way, its diagnostic in the Problems panel. What the language is, the server knows.
const path = require('node:path');
const {execFile} = require('node:child_process');
const vscode = require('vscode');
const {LanguageClient, TransportKind} = require('vscode-languageclient/node');

let client = null;

// The line of a diagnostic of the command ("line N error: …"; pass two's have none: line 1).
function rangeOf(document, output) {
  const line = Number((/^line (\d+) error: /.exec(output) ?? [0, 1])[1]);
  return document.lineAt(Math.min(Math.max(line, 1), document.lineCount) - 1).range;
}

async function assemble(problems) {
  const editor = vscode.window.activeTextEditor;
  if (!editor || editor.document.languageId !== 'vorn') return;
  const {document} = editor;
  if (document.isUntitled || !(await document.save())) {
    vscode.window.showErrorMessage('vorn: save the program to a file first');
    return;
  }
  const file = document.uri.fsPath;
  const command = path.join(__dirname, 'server', 'bin', 'vorn.cjs');
  const options = {cwd: path.dirname(file), env: {...process.env, ELECTRON_RUN_AS_NODE: '1'}, encoding: 'buffer'};
  execFile(process.execPath, [command, path.basename(file)], options, (error, stdout, stderr) => {
    const output = Buffer.concat([stdout, stderr]).toString('utf8');
    if (!error) {
      problems.delete(document.uri);
      // The object's name by the core's own rule, from the package's module.
      require('./server/index.cjs').load().then((vorn) =>
        vscode.window.showInformationMessage(`vorn: wrote ${path.basename(vorn.objectPathFor(file))}`));
      return;
    }
    const first = output.split('\n')[0].trimEnd();
    problems.set(document.uri, [new vscode.Diagnostic(rangeOf(document, first), first, vscode.DiagnosticSeverity.Error)]);
    vscode.window.showErrorMessage(`vorn: ${first}`);
  });
}

async function activate(context) {
  const server = path.join(__dirname, 'server', 'bin', 'vorn-language-server.cjs');
  client = new LanguageClient('vorn', 'vorn', {module: server, transport: TransportKind.stdio},
                              {documentSelector: [{language: 'vorn'}]});
  const problems = vscode.languages.createDiagnosticCollection('vorn: Assemble');
  context.subscriptions.push(problems, vscode.commands.registerCommand('vorn.assemble', () => assemble(problems)),
                             vscode.workspace.onDidChangeTextDocument((e) => problems.delete(e.document.uri)));
  await client.start();
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = {activate, deactivate};
